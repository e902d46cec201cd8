// Small pieces the sync passes share: the record buffer that is freed on every way out of a pass,
// taking a handheld record into a record object, and the yield that keeps the connection alive.
#pragma once

#include <cstdint>
#include <cstring>

#include "memo/MemoConverter.h"
#include "session/ResultCodes.h"
#include "synckit/SyncBlocks.h"
#include "synckit/SyncMgr.h"
#include "synckit/Table.h"

namespace syncpass {

// A RawRecord for one pass: zeroed, bound to the database handle, record id 0. Allocate() gives it
// the 4480-byte data buffer; the buffer is freed when the object goes.
class PassRecord {
public:
    explicit PassRecord(uint8_t dbHandle) {
        std::memset(&raw_, 0, sizeof raw_);
        raw_.dbHandle = dbHandle;
        raw_.recordId = 0;
    }
    ~PassRecord() { FreeRecordBuffer(raw_); }
    PassRecord(const PassRecord&) = delete;
    PassRecord& operator=(const PassRecord&) = delete;

    // 0, or the code of AllocRecordBuffer (4106).
    int32_t Allocate() { return AllocRecordBuffer(raw_, kRecordBufferSize); }
    // Frees the data buffer now (when it has one); the destructor then has nothing left to free.
    void Free() { FreeRecordBuffer(raw_); }
    // Zeroes the whole data buffer (its full size, not only the bytes of the last read), so that no
    // text of one record can show through in the next.
    void ClearBuffer() {
        if (raw_.buffer != nullptr && raw_.bufferSize > 0) std::memset(raw_.buffer, 0, raw_.bufferSize);
    }
    RawRecord& Raw() { return raw_; }

private:
    RawRecord raw_;
};

// Fills the record object from the raw handheld record through the converter: 0, or the
// converter's nonzero code (the passes turn it into 4112).
//
// A record archived on the handheld carries the deleted bit as well, and the converter does not take
// the text of a deleted record. The text of an archived record is what goes into the archive file,
// so it is taken here: the record is converted as if not deleted and then given status deleted,
// which is exactly what the converter gives it otherwise.
inline int32_t ConvertHandheldRecord(CRecordConverter* converter, RawRecord& raw, CBaseRecord& record) {
    if (converter == nullptr) return kErrToDesktopRecord;
    constexpr uint8_t kArchivedAndDeleted = kRecAttrArchived | kRecAttrDeleted;
    if ((raw.attributes & kArchivedAndDeleted) != kArchivedAndDeleted) return converter->FromRawRecord(record, raw);

    raw.attributes = static_cast<uint8_t>(raw.attributes & ~kRecAttrDeleted);
    int32_t result = converter->FromRawRecord(record, raw);
    raw.attributes = static_cast<uint8_t>(raw.attributes | kRecAttrDeleted);
    if (result == 0) result = record.SetStatus(kStatusDeleted);
    return result;
}

// Lets the sync host run once per record in the long loops, so that the connection stays alive.
// Its answer changes nothing: a broken connection shows in the next record call.
inline void YieldToHost() { SyncYieldCycles(1); }

// The highest record index a read by index can name (the index field is 16 bits wide).
inline constexpr int32_t kMaxRecordIndex = 0xFFFF;

}  // namespace syncpass
