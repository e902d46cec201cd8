// The sync host's decisions before a HotSync, kept apart from every side effect: which sync type
// the conduit is asked for and which first-sync indicator it is given.
#pragma once

#include <cstdint>
#include <optional>

namespace host {

inline constexpr int32_t kSyncFast = 0;
inline constexpr int32_t kSyncSlow = 1;
inline constexpr int32_t kSyncHandheldToDesktop = 2;
inline constexpr int32_t kSyncDesktopToHandheld = 3;
inline constexpr int32_t kSyncDoNothing = 6;  // what an accepted "Do nothing" stands for

struct SyncFacts {
    bool desktopFileExists = false;     // the user's desktop memo file
    uint32_t deviceLastDesktopId = 0;   // from the handheld: the desktop of its last HotSync, 0 = never
    uint32_t thisDesktopId = 0;
    std::optional<int32_t> requested;   // --sync
    std::optional<int32_t> chosen;      // the user's ConfigureConduit choice (kind 1 or 2)
    bool lastSyncFailed = false;        // this user's last HotSync on this desktop did not succeed
};

// The sync type: --sync when given, else the user's choice when it is a whole copy or "do nothing",
// else fast when the handheld last synced with this desktop, that HotSync succeeded and the desktop
// file exists, slow otherwise (a choice of "synchronize" still picks fast or slow by that rule). A
// failed HotSync may leave the sides part-way (a desktop row whose handheld record is gone, change
// flags not cleared); only a slow sync, which reads every record, puts them in step again.
int32_t ChooseSyncType(const SyncFacts& facts);

// The first-sync indicator, which decides whose categories win: 1 when the desktop file does not
// exist yet (the handheld's categories win); 2 when it exists and the handheld has never synced with
// any desktop (a new or reset handheld taking this user's data; the desktop's categories win); 0
// otherwise, so a used handheld never loses its categories because it meets a new desktop.
int32_t ChooseFirstSyncIndicator(const SyncFacts& facts);

// "fast", "slow", "handheld-to-desktop", "desktop-to-handheld" and back; nullopt for other texts.
std::optional<int32_t> ParseSyncTypeName(const char* name);
const char* SyncTypeName(int32_t syncType);  // "do-nothing" for 6, "unknown" for others

}  // namespace host
