// The sync type and first-sync indicator decisions of the sync host.
#include "host/SyncPlan.h"

#include <cstring>

namespace host {
namespace {

constexpr struct {
    int32_t type;
    const char* name;
} kSyncTypeNames[] = {
    {kSyncFast, "fast"},
    {kSyncSlow, "slow"},
    {kSyncHandheldToDesktop, "handheld-to-desktop"},
    {kSyncDesktopToHandheld, "desktop-to-handheld"},
};

}  // namespace

int32_t ChooseSyncType(const SyncFacts& facts) {
    if (facts.requested) return *facts.requested;
    if (facts.chosen && *facts.chosen != kSyncFast && *facts.chosen != kSyncSlow) return *facts.chosen;
    const bool lastSyncHere = facts.thisDesktopId != 0 && facts.deviceLastDesktopId == facts.thisDesktopId;
    return lastSyncHere && facts.desktopFileExists && !facts.lastSyncFailed ? kSyncFast : kSyncSlow;
}

int32_t ChooseFirstSyncIndicator(const SyncFacts& facts) {
    if (!facts.desktopFileExists) return 1;
    if (facts.deviceLastDesktopId == 0) return 2;
    return 0;
}

std::optional<int32_t> ParseSyncTypeName(const char* name) {
    if (name == nullptr) return std::nullopt;
    for (const auto& entry : kSyncTypeNames)
        if (std::strcmp(entry.name, name) == 0) return entry.type;
    return std::nullopt;
}

const char* SyncTypeName(int32_t syncType) {
    for (const auto& entry : kSyncTypeNames)
        if (entry.type == syncType) return entry.name;
    return syncType == kSyncDoNothing ? "do-nothing" : "unknown";
}

}  // namespace host
