// What the sync host keeps in the registry: its own key (installer value, desktop id, current user,
// the users' conduit preferences) and the numbered application entries that name the conduits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace host {

inline constexpr char kPilotDesktopKey[] = "Software\\Palm Computing\\Pilot Desktop";
inline constexpr char kHotSyncManagerKey[] = "Software\\Palm Computing\\Pilot Desktop\\HotSync Manager";
inline constexpr char kApplicationKeyPrefix[] = "Software\\Palm Computing\\Pilot Desktop\\Application";
inline constexpr int kApplicationEntryCount = 100;  // Application0 .. Application99

// Values of the HotSync Manager key written and read by the host.
inline constexpr char kInstallConduitValue[] = "InstallConduit";
inline constexpr char kDesktopIdValue[] = "DesktopId";      // DWORD, random, never 0
inline constexpr char kCurrentUserValue[] = "CurrentUser";  // the user of the last HotSync

// One application entry, as HotSync Manager reads it.
struct ApplicationEntry {
    int index = -1;  // N of ApplicationN
    std::string conduit;
    uint32_t creator = 0;
    std::string directory;
    std::string file0;
    std::string module;
    std::string remote0;
    std::string appName;
};

// Reads ApplicationN (all values optional; a missing one reads empty or 0). nullopt when the key
// does not exist; error (when not null) is set when the registry answered something other than
// "no such key".
std::optional<ApplicationEntry> ReadApplicationEntry(int index, std::string* error = nullptr);

// The entry HotSync Manager runs for a handheld database: the lowest-numbered one whose Remote0 is
// the database (exactly) and whose Conduit is not empty. nullopt when none; error set when the
// registry could not be read.
std::optional<ApplicationEntry> FindConduitEntry(const std::string& database, std::string* error);

// The desktop id in the HotSync Manager key; nullopt when the key or the value is missing.
std::optional<uint32_t> ReadDesktopId();

// A string value of the HotSync Manager key; nullopt when missing.
std::optional<std::string> ReadHotSyncManagerString(const char* valueName);
// Writes a string value of the HotSync Manager key (the key is created when missing). "" or an error.
std::string WriteHotSyncManagerString(const char* valueName, const std::string& value);

// The sync type a user chose for a conduit with ConfigureConduit. kind 1 stays until changed;
// kind 2 counts for the next HotSync only. Kept per user and database under
// "HotSync Manager\Preferences\<user folder>", values "<database> Kind" and "<database> SyncType".
struct ConduitChoice {
    int32_t kind = 0;
    int32_t syncType = 0;
    bool operator==(const ConduitChoice&) const = default;
};
std::optional<ConduitChoice> ReadConduitChoice(const std::string& userFolder, const std::string& database);
std::string WriteConduitChoice(const std::string& userFolder, const std::string& database, const ConduitChoice& choice);
// Removes a kind-2 choice after the HotSync it was meant for. "" or an error.
std::string ClearConduitChoice(const std::string& userFolder, const std::string& database);

// Whether the user's last HotSync of the database failed: the DWORD "<database> LastSyncFailed" under
// the user's preferences key, nonzero. False when it was never recorded.
bool ReadLastSyncFailed(const std::string& userFolder, const std::string& database);
// Records the outcome of a HotSync of the database. "" or an error.
std::string WriteLastSyncFailed(const std::string& userFolder, const std::string& database, bool failed);

}  // namespace host
