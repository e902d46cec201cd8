// One text as one new memo in the incoming category of the handheld.
#include "mail/TextMemo.h"

#include <algorithm>

#include "mail/MailLog.h"
#include "mail/MailSettings.h"
#include "synckit/HotSyncLog.h"
#include "synckit/SyncMgr.h"

namespace {

const MailMemoTarget* currentTarget = nullptr;

// Frees the record buffer when the write is done, whichever way it ends.
class RecordBuffer {
public:
    RecordBuffer() : record_{} {}
    ~RecordBuffer() { FreeRecordBuffer(record_); }
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;
    RawRecord& Record() { return record_; }

private:
    RawRecord record_;
};

}  // namespace

int32_t WriteTextMemo(const MailMemoTarget& target, std::string_view text) {
    MailState& state = Mail();
    if (state.InboxCategoryIndex == kCategoryIndexUnknown) {
        const std::string& name = state.texts.DefaultInboxName;
        CCategory* category = nullptr;
        // An empty name names no category, whatever names the handheld holds.
        if (target.handheldCategories == nullptr || name.empty() ||
            target.handheldCategories->FindName(name, category) != CAT_OK || category == nullptr) {
            return -1;
        }
        state.InboxCategoryIndex = category->GetIndex();
    }

    // The buffer holds at least MemoLimit bytes, so a memo text of the configured limit fits whole.
    const uint16_t size = static_cast<uint16_t>(std::max<int32_t>(kTextMemoBufferSize, state.MemoLimit));
    RecordBuffer buffer;
    RawRecord& record = buffer.Record();
    if (const int32_t code = AllocRecordBuffer(record, size); code != 0) return code;

    // The text without its CRs, cut so that it and its NUL stay inside the buffer.
    const size_t room = record.bufferSize - 1u;
    size_t length = 0;
    for (char c : text) {
        if (c == '\0') break;
        if (c == '\r') continue;
        if (length == room) break;
        record.buffer[length++] = static_cast<uint8_t>(c);
    }
    record.buffer[length] = 0;

    record.dbHandle = target.dbHandle;
    record.recordId = 0;
    record.recordIndex = 0;
    record.attributes = 0;
    record.category = static_cast<int16_t>(state.InboxCategoryIndex);
    record.dataSize = static_cast<uint32_t>(length + 1);
    const int32_t result = SyncWriteRec(record);
    if (result == kSyncErrMemoryFull) {
        LogAddEntry(kHandheldFullText, -1, 0);
    } else if (result != 0) {
        LogMailMessage("HotSync", result);
    }
    return result;
}

MailSessionScope::MailSessionScope(const MailMemoTarget& target) : target_(target), previous_(currentTarget) {
    Mail().InboxCategoryIndex = kCategoryIndexUnknown;
    currentTarget = &target_;
}

MailSessionScope::~MailSessionScope() { currentTarget = previous_; }

const MailMemoTarget* CurrentMailTarget() { return currentTarget; }
