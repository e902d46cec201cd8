// The Sync Manager: every access a conduit has to the handheld during a HotSync.
// Each call goes to the handheld attached with AttachHandheld and returns 0 for success or a Sync
// Manager code. With no handheld attached every call answers kSyncErrNoHandheld (a connection failure).
#pragma once

#include <cstdint>

#include "synckit/SyncBlocks.h"

// Sync Manager result codes. Codes above 16384; bit 0x2000 marks a broken connection.
inline constexpr int32_t kSyncErrNone = 0;
inline constexpr int32_t kSyncErrFailed = 16385;        // the handheld refused the request
inline constexpr int32_t kSyncErrBadArgument = 16386;   // a null buffer, a bad size or index
inline constexpr int32_t kSyncErrNotFound = 16387;      // no such record or database; end of reading
inline constexpr int32_t kSyncErrBadHandle = 16388;     // the database handle is not open
inline constexpr int32_t kSyncErrAlreadyOpen = 16389;   // the database is already open
inline constexpr int32_t kSyncErrExists = 16390;        // a database of that name exists
inline constexpr int32_t kSyncErrNotRegistered = 16391; // no conduit is registered
inline constexpr int32_t kSyncErrTooSmall = 16392;      // the record does not fit the buffer
inline constexpr int32_t kSyncErrNoSpace = 16403;       // the handheld is full (storage)
inline constexpr int32_t kSyncErrMemoryFull = 16404;    // the handheld is full (memory)
inline constexpr int32_t kSyncErrLinkLost = 24608;      // the connection broke (0x4000 | 0x2000 | 0x20)
inline constexpr int32_t kSyncErrNoHandheld = 24609;    // no handheld is attached
inline constexpr int32_t kSyncCommsBit = 0x2000;

inline constexpr uint8_t kOpenModeReadWrite = 0xE0;  // the mode the conduit opens databases in

using ConduitHandle = uint32_t;

int32_t SyncRegisterConduit(ConduitHandle& handle);
int32_t SyncUnRegisterConduit(ConduitHandle handle);
int32_t SyncReadSystemInfo(HandheldSystemInfo& info);  // fills the ROM version and the product id

// Opens a database by name: 16387 when there is none. The handle stays valid until closed.
int32_t SyncOpenDB(const char* name, int32_t cardNumber, uint8_t& dbHandle, uint8_t openMode);
// Creates and opens a database from the create block; its handle is placed in block.dbHandle.
int32_t SyncCreateDB(DbCreateBlock& block);
int32_t SyncCloseDB(uint8_t dbHandle);
int32_t SyncResetSyncFlags(uint8_t dbHandle);   // clears every record's dirty bit
int32_t SyncGetDBRecordCount(uint8_t dbHandle, uint16_t& count);  // every record, deleted ones too

// Record reads fill id, index, attributes, category, data and dataSize; the record's data must fit
// bufferSize (else kSyncErrTooSmall and nothing is copied). A failed read leaves the buffer as it was.
int32_t SyncReadRecordByIndex(RawRecord& record);  // by record.recordIndex, in handheld order
int32_t SyncReadRecordById(RawRecord& record);     // by record.recordId
// Next record, in handheld order, whose dirty, deleted or archived bit is set, counted from the
// opening of the database; 16387 once none remain.
int32_t SyncReadNextModifiedRec(RawRecord& record);
// Writes dataSize bytes of the buffer with the record's attributes and category. Record id 0 makes a
// new record whose id the handheld assigns and returns in recordId; an id the handheld does not hold
// makes a new record with that id; an id it holds replaces that record.
int32_t SyncWriteRec(RawRecord& record);
int32_t SyncDeleteRec(RawRecord& record);          // by record.recordId; 16387 when absent
int32_t SyncPurgeDeletedRecs(uint8_t dbHandle);   // removes records with the deleted bit
int32_t SyncPurgeAllRecs(uint8_t dbHandle);

// Reads the application-info block into block.buffer (up to bufferSize bytes) and sets length.
// 16387 when the database has none. The write stores length bytes, or bufferSize bytes when
// length is 0.
int32_t SyncReadDBAppInfoBlock(uint8_t dbHandle, AppInfoBlock& block);
int32_t SyncWriteDBAppInfoBlock(uint8_t dbHandle, const AppInfoBlock& block);

// Moves every record of category fromIndex to toIndex; the records' dirty bits are left alone.
int32_t SyncChangeCategory(uint8_t dbHandle, uint8_t fromIndex, uint8_t toIndex);
// Record ids in handheld order from firstPosition, at most entriesWanted and bufferSize / 4,
// big-endian; sets entriesReturned.
int32_t SyncReadPositionXMap(PositionMap& map);
int32_t SyncYieldCycles(uint16_t maxMilliseconds);

// Gives the record a zero-filled data buffer of size bytes and sets bufferSize; 4106 when it cannot
// be allocated (bufferSize stays 0). Free it with FreeRecordBuffer.
inline constexpr int32_t kAllocRecordBufferFailed = 4106;
int32_t AllocRecordBuffer(RawRecord& record, uint16_t size);
void FreeRecordBuffer(RawRecord& record);  // frees when bufferSize > 0 and buffer is set; clears both
