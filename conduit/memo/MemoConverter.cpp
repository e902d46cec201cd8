// The record converter and its memo form: raw handheld records <-> desktop rows, application-info
// block <-> category list.
#include "memo/MemoConverter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "memo/MemoText.h"

namespace {

// The memo cursor for a row: the cursor itself when it is one, else a memo cursor bound to the same
// row (the memo calls act on the row, whichever cursor reaches it).
class MemoCursor {
public:
    explicit MemoCursor(CBaseRecord& cursor)
        : memo_(dynamic_cast<CMemoRecord*>(&cursor)) {
        if (memo_ == nullptr) {
            local_ = std::make_unique<CMemoRecord>(cursor.Table(), 0);
            local_->Bind(cursor.Row());
            memo_ = local_.get();
        }
    }
    CMemoRecord* operator->() const { return memo_; }

private:
    CMemoRecord* memo_;
    std::unique_ptr<CMemoRecord> local_;
};

}  // namespace

// --- CRecordConverter ---

CRecordConverter::CRecordConverter()
    : textBuffer_(new (std::nothrow) char[kTextBufferSize]()) {}

CRecordConverter::~CRecordConverter() = default;

int32_t CRecordConverter::ToRawRecord(CBaseRecord&, RawRecord&) { return kNotSupported; }
int32_t CRecordConverter::FromRawRecord(CBaseRecord&, RawRecord&) { return kNotSupported; }
int32_t CRecordConverter::ReadCategories(AppInfoBlock&, CCategoryMgr&) { return kNotSupported; }
int32_t CRecordConverter::WriteCategories(AppInfoBlock&, CCategoryMgr&) { return kNotSupported; }
void CRecordConverter::AfterAppInfoRead(AppInfoBlock&, CBaseTable*, int32_t, int32_t) {}

int32_t CRecordConverter::SwapPositionMap(PositionMap& map) {
    if (map.ids == nullptr || map.entriesReturned == 0) return 0;
    // The handheld's count is trusted only as far as the buffer reaches.
    const size_t count = std::min<size_t>(map.entriesReturned, map.bufferSize / sizeof(uint32_t));
    for (size_t i = 0; i < count; ++i) {
        uint8_t bytes[4];
        std::memcpy(bytes, &map.ids[i], 4);
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
        std::memcpy(&map.ids[i], bytes, 4);
    }
    return 0;
}

// --- CMemoConverter ---

CMemoConverter::~CMemoConverter() = default;

bool CMemoConverter::FitsHandheldRecord(std::string_view desktopText, size_t bufferSize) {
    return memotext::HandheldTextLength(desktopText) < bufferSize;  // room for the NUL too
}

int32_t CMemoConverter::ToRawRecord(CBaseRecord& cursor, RawRecord& raw) {
    MemoCursor memo(cursor);

    uint32_t id = 0;
    cursor.GetRecordId(id);
    raw.recordId = id;
    raw.attributes = 0;
    int32_t category = 0;
    cursor.GetCategoryId(category);
    raw.category = static_cast<int16_t>(category);

    uint8_t attributes = 0;
    if (memo->IsPrivate()) attributes |= kRecAttrPrivate;
    if (cursor.IsArchived()) attributes |= kRecAttrArchived;
    if (cursor.IsDeleted()) attributes |= kRecAttrDeleted;
    if (cursor.IsModified() || cursor.IsAdded()) attributes |= kRecAttrDirty;
    raw.attributes = attributes;

    std::string text;
    const int32_t result = memo->GetMemo(text);

    // The whole translated text and its NUL must fit, or nothing is written: a memo is never cut
    // on its way to the handheld, and the buffer is never overrun.
    const size_t length = memotext::HandheldTextLength(text);
    const size_t capacity = raw.buffer != nullptr ? raw.bufferSize : 0;
    if (length + 1 > capacity) {
        raw.dataSize = 0;
        return result != 0 ? result : kErrTextTooLong;
    }
    memotext::WriteHandheldText(text, reinterpret_cast<char*>(raw.buffer));
    raw.buffer[length] = '\0';
    raw.dataSize = static_cast<uint32_t>(length + 1);
    return result;
}

int32_t CMemoConverter::FromRawRecord(CBaseRecord& cursor, RawRecord& raw) {
    MemoCursor memo(cursor);

    cursor.SetRecordId(raw.recordId);
    cursor.SetCategoryId(raw.category);  // int16_t: sign-extended
    cursor.SetArchiveBit((raw.attributes & kRecAttrArchived) ? 1 : 0);
    memo->SetPrivate((raw.attributes & kRecAttrPrivate) ? 1 : 0);

    cursor.SetStatus(kStatusNone);
    if (raw.attributes & kRecAttrDeleted) {
        // A deleted record's text is not taken: the row keeps the text it had.
        return cursor.SetStatus(kStatusDeleted);
    }
    if (raw.attributes & kRecAttrDirty) cursor.SetStatus(kStatusModified);

    // Read no further than the record's data and its buffer, whether or not a NUL comes first.
    const size_t available = raw.buffer != nullptr ? std::min<size_t>(raw.dataSize, raw.bufferSize) : 0;
    const std::string_view handheldText =
        memotext::UpToNul(std::string_view(reinterpret_cast<const char*>(raw.buffer), available));

    // The text buffer holds every memo the handheld normally makes; a longer one is built whole in
    // a scratch buffer rather than cut.
    const size_t length = memotext::DesktopTextLength(handheldText);
    char* out = TextBuffer();
    std::unique_ptr<char[]> scratch;
    if (out == nullptr || length + 1 > kTextBufferSize) {
        scratch.reset(new (std::nothrow) char[length + 1]);
        if (!scratch) return kErrNoTextBuffer;
        out = scratch.get();
    }
    memotext::WriteDesktopText(handheldText, out);
    out[length] = '\0';
    return memo->SetMemo(std::string_view(out, length));
}

int32_t CMemoConverter::ReadCategories(AppInfoBlock& block, CCategoryMgr& categories) {
    if (block.buffer == nullptr) return kErrAppInfoReadBuffer;
    const uint8_t* data = block.buffer;
    const size_t size = block.bufferSize;
    auto byteAt = [&](size_t offset) -> uint8_t { return offset < size ? data[offset] : 0; };

    const uint16_t dirtyBits =
        static_cast<uint16_t>((byteAt(kAppInfoDirtyOffset) << 8) | byteAt(kAppInfoDirtyOffset + 1));
    for (int i = 0; i < kCategoryCount; ++i) {
        const size_t slot = kAppInfoNamesOffset + kAppInfoNameSlotSize * static_cast<size_t>(i);
        std::string name;
        while (name.size() < static_cast<size_t>(kCategoryNameMax) && byteAt(slot + name.size()) != 0)
            name.push_back(static_cast<char>(byteAt(slot + name.size())));
        if (name.empty()) continue;  // an empty slot: no category at this index

        auto category = std::make_unique<CCategory>();
        category->SetIndex(i);
        category->SetName(name);
        category->SetID(byteAt(kAppInfoIdsOffset + static_cast<size_t>(i)));
        category->SetNameDirty((dirtyBits >> i) & 1);
        if (categories.Add(category.get()) == CAT_OK) category.release();  // the manager owns it now
    }
    return 0;
}

int32_t CMemoConverter::WriteCategories(AppInfoBlock& block, CCategoryMgr& categories) {
    if (block.buffer == nullptr) return kErrAppInfoWriteBuffer;
    uint8_t* data = block.buffer;
    const size_t limit = std::min<size_t>(block.bufferSize, kAppInfoCategoryEnd);
    auto put = [&](size_t offset, uint8_t value) {
        if (offset < limit) data[offset] = value;
    };

    // Dirty bits, name slots and ids all start from zero; the rest of the block stays as read.
    std::memset(data, 0, limit);
    for (int j = 0; j < kCategoryCount; ++j) {
        CCategory* category = nullptr;
        if (categories.FindIndex(j, category) != CAT_OK || category == nullptr) continue;
        const std::string_view name = memotext::UpToNul(category->GetName());
        const size_t length = std::min<size_t>(name.size(), kCategoryNameMax);  // slot keeps its NUL
        const size_t slot = kAppInfoNamesOffset + kAppInfoNameSlotSize * static_cast<size_t>(j);
        for (size_t k = 0; k < length; ++k) put(slot + k, static_cast<uint8_t>(name[k]));
        put(kAppInfoIdsOffset + static_cast<size_t>(j), static_cast<uint8_t>(category->GetID() & 0xFF));
    }
    return 0;
}
