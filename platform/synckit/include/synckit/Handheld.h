// The handheld seen from the sync host: what every Sync Manager call reaches. The host or a test
// attaches one; MemoryHandheld is the in-memory backend, the device image loads into one.
#pragma once

#include <cstdint>

#include "synckit/SyncBlocks.h"

namespace synckit {

// Every operation a Sync Manager call can make; used to record calls and to plan faults.
enum class SyncOp : uint8_t {
    RegisterConduit, UnRegisterConduit, ReadSystemInfo, OpenDB, CreateDB, CloseDB, ResetSyncFlags,
    GetDBRecordCount, ReadRecordByIndex, ReadRecordById, ReadNextModifiedRec, WriteRec, DeleteRec,
    PurgeDeletedRecs, PurgeAllRecs, ReadAppInfo, WriteAppInfo, ChangeCategory, ReadPositionMap,
    YieldCycles,
};
inline constexpr int kSyncOpCount = 20;
const char* SyncOpName(SyncOp op);

// The operations behind the Sync Manager functions, with the same contracts (see SyncMgr.h).
class Handheld {
public:
    virtual ~Handheld() = default;
    virtual int32_t RegisterConduit(uint32_t& handle) = 0;
    virtual int32_t UnRegisterConduit(uint32_t handle) = 0;
    virtual int32_t ReadSystemInfo(HandheldSystemInfo& info) = 0;
    virtual int32_t OpenDB(const char* name, int32_t cardNumber, uint8_t& dbHandle, uint8_t mode) = 0;
    virtual int32_t CreateDB(DbCreateBlock& block) = 0;
    virtual int32_t CloseDB(uint8_t dbHandle) = 0;
    virtual int32_t ResetSyncFlags(uint8_t dbHandle) = 0;
    virtual int32_t GetDBRecordCount(uint8_t dbHandle, uint16_t& count) = 0;
    virtual int32_t ReadRecordByIndex(RawRecord& record) = 0;
    virtual int32_t ReadRecordById(RawRecord& record) = 0;
    virtual int32_t ReadNextModifiedRec(RawRecord& record) = 0;
    virtual int32_t WriteRec(RawRecord& record) = 0;
    virtual int32_t DeleteRec(RawRecord& record) = 0;
    virtual int32_t PurgeDeletedRecs(uint8_t dbHandle) = 0;
    virtual int32_t PurgeAllRecs(uint8_t dbHandle) = 0;
    virtual int32_t ReadAppInfo(uint8_t dbHandle, AppInfoBlock& block) = 0;
    virtual int32_t WriteAppInfo(uint8_t dbHandle, const AppInfoBlock& block) = 0;
    virtual int32_t ChangeCategory(uint8_t dbHandle, uint8_t fromIndex, uint8_t toIndex) = 0;
    virtual int32_t ReadPositionMap(PositionMap& map) = 0;
    virtual int32_t YieldCycles(uint16_t maxMilliseconds) = 0;
};

// Attaches the handheld that the Sync Manager functions reach (null detaches). Not owned.
void AttachHandheld(Handheld* handheld);
Handheld* AttachedHandheld();

// Attaches for the lifetime of the object, restoring the previous one afterwards.
class ScopedHandheld {
public:
    explicit ScopedHandheld(Handheld& handheld) : previous_(AttachedHandheld()) { AttachHandheld(&handheld); }
    ~ScopedHandheld() { AttachHandheld(previous_); }
    ScopedHandheld(const ScopedHandheld&) = delete;
    ScopedHandheld& operator=(const ScopedHandheld&) = delete;
private:
    Handheld* previous_;
};

}  // namespace synckit
