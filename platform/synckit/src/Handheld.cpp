// The handheld the Sync Manager calls reach, and the names of its operations for recorded calls.
#include "synckit/Handheld.h"

namespace synckit {
namespace {

// The sync host runs one conduit call at a time on one thread, so a plain pointer is enough.
Handheld* attachedHandheld = nullptr;

constexpr const char* kSyncOpNames[kSyncOpCount] = {
    "RegisterConduit", "UnRegisterConduit", "ReadSystemInfo", "OpenDB", "CreateDB", "CloseDB",
    "ResetSyncFlags", "GetDBRecordCount", "ReadRecordByIndex", "ReadRecordById",
    "ReadNextModifiedRec", "WriteRec", "DeleteRec", "PurgeDeletedRecs", "PurgeAllRecs",
    "ReadAppInfo", "WriteAppInfo", "ChangeCategory", "ReadPositionMap", "YieldCycles",
};
static_assert(static_cast<int>(SyncOp::YieldCycles) + 1 == kSyncOpCount,
              "every operation has a name");

}  // namespace

const char* SyncOpName(SyncOp op) {
    const auto index = static_cast<unsigned>(op);
    return index < static_cast<unsigned>(kSyncOpCount) ? kSyncOpNames[index] : "?";
}

void AttachHandheld(Handheld* handheld) { attachedHandheld = handheld; }
Handheld* AttachedHandheld() { return attachedHandheld; }

}  // namespace synckit
