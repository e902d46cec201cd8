// One HotSync as the sync host runs it: the device image stands in for the handheld, the
// registry's application entry names the conduit, and the user folder holds the desktop data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "synckit/HotSyncLog.h"

namespace host {

inline constexpr char kMemoDatabase[] = "MemoDB";

struct HotSyncRequest {
    std::filesystem::path device;      // the device image folder
    std::string user;                  // "" = the handheld's own user name
    std::optional<int32_t> syncType;   // --sync; otherwise the host chooses
    std::ostream* out = nullptr;       // a header, then each log entry as it is added, in UTF-8 (null: not)
    bool progress = false;             // show record counts on stderr (only when it is a terminal)
};

struct HotSyncOutcome {
    // Set when the HotSync could not run (no setup, a refused device image, no conduit, the
    // desktop file in use) or its results could not be kept (the device image not written back).
    std::string error;
    bool conduitRan = false;   // OpenConduit was called
    bool skipped = false;      // the user chose "Do nothing": the conduit was not called
    int32_t result = 0;        // OpenConduit's result
    int32_t syncType = 0;
    int32_t firstSyncIndicator = 0;
    std::string user;
    std::string desktopFile;   // Windows path
    std::vector<synckit::LogEntry> log;
};

// Runs the HotSync:
// 1. loads the device image (refused: nothing is touched, error names the file);
// 2. finds the application entry for MemoDB and loads its conduit;
// 3. takes the lock beside the user's desktop file (held until the end, so no desktop edit
//    happens during the sync);
// 4. chooses the sync type and first-sync indicator (SyncPlan.h), fills HotSyncProperties and
//    calls OpenConduit with the handheld and a HotSync log attached;
// 5. appends the log to C:\Pilot\<user>\HotSync.log, writes the device image back (also after a
//    failed sync: the handheld keeps what was done), recording the user name and, when the sync
//    succeeded, this desktop's id; a kind-2 choice of ConfigureConduit is used up by a sync
//    that succeeded.
HotSyncOutcome RunHotSync(const HotSyncRequest& request);

// The user for desktop-side commands: the name given, else the user of the last HotSync
// (HotSync Manager's CurrentUser), else the only user folder in C:\Pilot\. "" with error set when
// none can be told.
std::string ResolveUser(const std::string& given, std::string& error);

// The Windows path of the user's desktop memo file, from the MemoDB application entry's Directory
// and File0 ("memopad", "memopad.dat" when there is no entry).
std::string UserDesktopFile(const std::string& user);

// The text (UTF-8) of the last HotSync in the user's HotSync.log; nullopt when there is none.
// User names are UTF-8 text throughout, as device.ini and the command line hold them.
std::optional<std::string> LastHotSyncLog(const std::string& user);

// Shows the conduit's action dialog (ConfigureConduit) for the user and keeps an accepted choice
// in the registry. result is ConfigureConduit's; error set when the conduit cannot be reached or
// the choice cannot be stored.
struct ConfigureOutcome {
    std::string error;
    int32_t result = -1;
    int32_t preferenceKind = 0;
    int32_t syncType = 0;
};
ConfigureOutcome ConfigureFor(const std::string& user);

}  // namespace host
