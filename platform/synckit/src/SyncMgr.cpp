// The Sync Manager functions: each forwards to the attached handheld, or answers kSyncErrNoHandheld.
#include "synckit/SyncMgr.h"

#include <new>

#include "synckit/Handheld.h"

namespace {

// Runs one operation on the attached handheld; without one the call fails as a lost connection would.
template <typename Call>
int32_t OnHandheld(Call call) {
    synckit::Handheld* handheld = synckit::AttachedHandheld();
    return handheld != nullptr ? call(*handheld) : kSyncErrNoHandheld;
}

}  // namespace

int32_t SyncRegisterConduit(ConduitHandle& handle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.RegisterConduit(handle); });
}
int32_t SyncUnRegisterConduit(ConduitHandle handle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.UnRegisterConduit(handle); });
}
int32_t SyncReadSystemInfo(HandheldSystemInfo& info) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadSystemInfo(info); });
}
int32_t SyncOpenDB(const char* name, int32_t cardNumber, uint8_t& dbHandle, uint8_t openMode) {
    return OnHandheld([&](synckit::Handheld& h) { return h.OpenDB(name, cardNumber, dbHandle, openMode); });
}
int32_t SyncCreateDB(DbCreateBlock& block) {
    return OnHandheld([&](synckit::Handheld& h) { return h.CreateDB(block); });
}
int32_t SyncCloseDB(uint8_t dbHandle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.CloseDB(dbHandle); });
}
int32_t SyncResetSyncFlags(uint8_t dbHandle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ResetSyncFlags(dbHandle); });
}
int32_t SyncGetDBRecordCount(uint8_t dbHandle, uint16_t& count) {
    return OnHandheld([&](synckit::Handheld& h) { return h.GetDBRecordCount(dbHandle, count); });
}
int32_t SyncReadRecordByIndex(RawRecord& record) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadRecordByIndex(record); });
}
int32_t SyncReadRecordById(RawRecord& record) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadRecordById(record); });
}
int32_t SyncReadNextModifiedRec(RawRecord& record) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadNextModifiedRec(record); });
}
int32_t SyncWriteRec(RawRecord& record) {
    return OnHandheld([&](synckit::Handheld& h) { return h.WriteRec(record); });
}
int32_t SyncDeleteRec(RawRecord& record) {
    return OnHandheld([&](synckit::Handheld& h) { return h.DeleteRec(record); });
}
int32_t SyncPurgeDeletedRecs(uint8_t dbHandle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.PurgeDeletedRecs(dbHandle); });
}
int32_t SyncPurgeAllRecs(uint8_t dbHandle) {
    return OnHandheld([&](synckit::Handheld& h) { return h.PurgeAllRecs(dbHandle); });
}
int32_t SyncReadDBAppInfoBlock(uint8_t dbHandle, AppInfoBlock& block) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadAppInfo(dbHandle, block); });
}
int32_t SyncWriteDBAppInfoBlock(uint8_t dbHandle, const AppInfoBlock& block) {
    return OnHandheld([&](synckit::Handheld& h) { return h.WriteAppInfo(dbHandle, block); });
}
int32_t SyncChangeCategory(uint8_t dbHandle, uint8_t fromIndex, uint8_t toIndex) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ChangeCategory(dbHandle, fromIndex, toIndex); });
}
int32_t SyncReadPositionXMap(PositionMap& map) {
    return OnHandheld([&](synckit::Handheld& h) { return h.ReadPositionMap(map); });
}
int32_t SyncYieldCycles(uint16_t maxMilliseconds) {
    return OnHandheld([&](synckit::Handheld& h) { return h.YieldCycles(maxMilliseconds); });
}

int32_t AllocRecordBuffer(RawRecord& record, uint16_t size) {
    record.buffer = nullptr;
    record.bufferSize = 0;
    // A buffer of no bytes could never be freed by FreeRecordBuffer (it frees only sized buffers),
    // so it is refused like a failed allocation.
    if (size == 0) return kAllocRecordBufferFailed;
    auto* buffer = new (std::nothrow) uint8_t[size]();
    if (buffer == nullptr) return kAllocRecordBufferFailed;
    record.buffer = buffer;
    record.bufferSize = size;
    return 0;
}

void FreeRecordBuffer(RawRecord& record) {
    if (record.bufferSize > 0 && record.buffer != nullptr) delete[] record.buffer;
    record.buffer = nullptr;
    record.bufferSize = 0;
}
