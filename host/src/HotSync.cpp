// The sync host's HotSync: device image in, conduit called through its exports, log kept, device
// image written back.
#include "host/HotSync.h"

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "ProgressHandheld.h"
#include "host/ConduitModule.h"
#include "host/Registry.h"
#include "host/SyncPlan.h"
#include "host/Text.h"
#include "host/UserPaths.h"
#include "synckit/DeviceImage.h"
#include "synckit/Handheld.h"
#include "synckit/PdbFile.h"
#include "win/Files.h"
#include "win/Paths.h"
#include "win/Time.h"

namespace fs = std::filesystem;

namespace host {
namespace {

constexpr char kDeviceLockName[] = "device.lock";
// Lines of HotSync.log that start a HotSync's part; an entry line that would look like one gets a
// leading blank, so the last HotSync can always be found again.
constexpr char kLogMarker[] = "#### HotSync ";

int32_t NoProgress(const char*) { return 0; }

// Copies text into a fixed field; false (field left empty) when it does not fit with its NUL.
bool CopyField(char* field, size_t size, const std::string& text) {
    if (text.size() + 1 > size || text.find('\0') != std::string::npos) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// The entry's lines as HotSync.log keeps them.
void WriteLogEntry(std::ostream& out, const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        if (!first || line.rfind("####", 0) == 0) out << (first ? " " : "    ");
        out << line << "\n";
        first = false;
    }
}

std::string AppendLogFile(const std::string& user, const std::string& header,
                          const std::vector<synckit::LogEntry>& entries, const std::string& footer) {
    const fs::path path = win::HostPath(UserFolder(user) + kHotSyncLogName);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::app | std::ios::binary);
    if (!out) return path.string() + ": cannot be written";
    out << kLogMarker << header << "\n";
    for (const synckit::LogEntry& entry : entries)
        if (!entry.text.empty()) WriteLogEntry(out, Cp1252ToUtf8(entry.text));
    out << kLogMarker << footer << "\n";
    out.flush();
    return out ? std::string() : path.string() + ": cannot be written";
}

// Shows the record counts on stderr, on one line that log output clears first.
class ProgressLine {
public:
    explicit ProgressLine(bool wanted) : shown_(wanted && ::isatty(2) != 0) {}
    ~ProgressLine() { Clear(); }
    void Show(int64_t read, int64_t written) {
        if (!shown_) return;
        std::cerr << "\r\033[K  " << read << " records read, " << written << " written" << std::flush;
        visible_ = true;
    }
    void Clear() {
        if (visible_) std::cerr << "\r\033[K" << std::flush;
        visible_ = false;
    }

private:
    bool shown_;
    bool visible_ = false;
};

}  // namespace

HotSyncOutcome RunHotSync(const HotSyncRequest& request) {
    HotSyncOutcome outcome;
    auto fail = [&](std::string error) {
        outcome.error = std::move(error);
        return outcome;
    };

    const std::optional<uint32_t> desktopId = ReadDesktopId();
    if (!desktopId)
        return fail("this desktop is not set up for HotSync (no desktop id in HKEY_CURRENT_USER\\" +
                    std::string(kHotSyncManagerKey) + " under " + win::PrefixRoot().string() +
                    "): run `tervano setup` first");

    std::error_code ec;
    if (!fs::is_directory(request.device, ec)) return fail(request.device.string() + ": no device image folder");
    FileLock deviceLock;
    if (std::string busy = deviceLock.Try(request.device / kDeviceLockName); !busy.empty()) return fail(busy);

    synckit::MemoryHandheld handheld;
    synckit::DeviceLoadResult loaded = synckit::DeviceImage::Load(request.device, handheld);
    if (!loaded.ok()) return fail("the device image is refused: " + loaded.error);
    synckit::DeviceImage& image = loaded.image;

    const std::string& deviceUser = image.Info().userName;
    if (!request.user.empty() && !deviceUser.empty() && request.user != deviceUser)
        return fail("the handheld belongs to user \"" + deviceUser + "\", not \"" + request.user + "\"");
    outcome.user = !request.user.empty() ? request.user : deviceUser;
    if (outcome.user.empty()) return fail("the handheld has no user name yet: name one with --user");
    if (UserFolderName(outcome.user).empty()) return fail("the user name is empty");

    std::string registryError;
    const std::optional<ApplicationEntry> entry = FindConduitEntry(kMemoDatabase, &registryError);
    if (!registryError.empty()) return fail(registryError);
    if (!entry)
        return fail("no application entry names a conduit for " + std::string(kMemoDatabase) +
                    " (HKEY_CURRENT_USER\\" + kApplicationKeyPrefix + "0..99): run `tervano setup`");
    std::string loadError;
    std::unique_ptr<ConduitModule> conduit = ConduitModule::Load(entry->conduit, loadError);
    if (!conduit) return fail(loadError);

    // The desktop side: C:\Pilot\<user>\<Directory>\, made when missing, and its lock.
    const std::string desktopDirectory = UserFolder(outcome.user) + entry->directory + "\\";
    outcome.desktopFile = desktopDirectory + entry->file0;
    fs::create_directories(win::HostPath(desktopDirectory), ec);
    if (ec) return fail(win::HostPath(desktopDirectory).string() + ": cannot be made: " + ec.message());
    FileLock desktopLock;
    if (std::string busy = desktopLock.Try(DesktopLockPath(outcome.desktopFile)); !busy.empty()) return fail(busy);

    const std::string userFolder = UserFolderName(outcome.user);
    const std::optional<ConduitChoice> choice = ReadConduitChoice(userFolder, entry->remote0);
    SyncFacts facts;
    facts.desktopFileExists = win::FileExists(outcome.desktopFile.c_str());
    facts.deviceLastDesktopId = image.Info().lastSyncDesktopId;
    facts.thisDesktopId = *desktopId;
    facts.requested = request.syncType;
    if (choice) facts.chosen = choice->syncType;
    facts.lastSyncFailed = ReadLastSyncFailed(userFolder, entry->remote0);
    outcome.syncType = ChooseSyncType(facts);
    outcome.firstSyncIndicator = ChooseFirstSyncIndicator(facts);

    HotSyncProperties properties{};
    std::string databaseName = entry->remote0;
    properties.syncType = outcome.syncType;
    properties.databaseNames[0] = databaseName.data();
    properties.creator = entry->creator;
    properties.creationByte = 0;
    properties.databaseType = synckit::kMemoDbType;
    properties.firstSyncIndicator = outcome.firstSyncIndicator;
    if (!CopyField(properties.desktopDirectory, sizeof properties.desktopDirectory, desktopDirectory) ||
        !CopyField(properties.desktopFileName, sizeof properties.desktopFileName, entry->file0) ||
        !CopyField(properties.userName, sizeof properties.userName, outcome.user)) {
        return fail("the desktop path or the user name is too long for the conduit's properties (255 characters)");
    }

    const std::string started = win::FormatLocalTime(win::Now(), "%Y/%m/%d %H:%M:%S");
    const std::string header = "started " + started + "  user \"" + outcome.user + "\"  " + SyncTypeName(outcome.syncType) +
                               " sync  (first-sync indicator " + std::to_string(outcome.firstSyncIndicator) + ")";

    synckit::HotSyncLog log;
    ProgressLine progress(request.progress);
    if (request.out != nullptr) {
        *request.out << "HotSync " << header << "\n" << std::flush;
        log.SetObserver([&](const synckit::LogEntry& added) {
            if (added.text.empty()) return;
            progress.Clear();
            *request.out << Cp1252ToUtf8(added.text) << "\n" << std::flush;
        });
    }

    if (outcome.syncType == kSyncDoNothing) {
        outcome.skipped = true;
        if (request.out != nullptr) *request.out << conduit->GetConduitName() << ": nothing to do (the user's choice)\n";
    } else {
        ProgressHandheld attached(handheld, [&](int64_t read, int64_t written) { progress.Show(read, written); });
        synckit::ScopedHandheld handheldScope(attached);
        synckit::ScopedHotSyncLog logScope(log);
        outcome.result = conduit->OpenConduit(&NoProgress, properties);
        outcome.conduitRan = true;
    }
    progress.Clear();
    if (request.progress && ::isatty(2) != 0)
        std::cerr << "  " << handheld.RecordsRead() << " records read, " << handheld.RecordsWritten() << " written\n";
    outcome.log = log.Entries();

    const std::string footer = outcome.skipped         ? std::string("skipped")
                               : outcome.result == 0 ? std::string("completed")
                                                      : "failed with code " + std::to_string(outcome.result);
    std::string keepError = AppendLogFile(outcome.user, header, outcome.log, footer);

    // The handheld keeps whatever was done, also after a failed sync; it is marked as synced with
    // this desktop only after a sync that succeeded, and a failed one is recorded, so that either way
    // the next HotSync is a slow one.
    if (image.Info().userName.empty()) image.Info().userName = outcome.user;
    if (outcome.conduitRan && outcome.result == 0) image.Info().lastSyncDesktopId = *desktopId;
    const synckit::DeviceSaveResult saved = image.Save(request.device, handheld);
    if (!saved.ok()) keepError = "the device image was not written back: " + saved.error;
    if (outcome.conduitRan) {
        if (std::string recorded = WriteLastSyncFailed(userFolder, entry->remote0, outcome.result != 0);
            !recorded.empty() && keepError.empty())
            keepError = recorded;
    }

    if (outcome.conduitRan && outcome.result == 0 && choice && choice->kind == 2) {
        if (std::string cleared = ClearConduitChoice(userFolder, entry->remote0); !cleared.empty() && keepError.empty())
            keepError = cleared;
    }
    if (std::string written = WriteHotSyncManagerString(kCurrentUserValue, outcome.user); !written.empty() && keepError.empty())
        keepError = written;
    outcome.error = keepError;
    return outcome;
}

std::string ResolveUser(const std::string& given, std::string& error) {
    if (!given.empty()) return given;
    if (std::optional<std::string> current = ReadHotSyncManagerString(kCurrentUserValue); current && !current->empty())
        return *current;
    std::error_code ec;
    std::vector<std::string> users;
    for (const fs::directory_entry& dir : fs::directory_iterator(win::HostPath(kPilotFolder), ec))
        if (dir.is_directory(ec)) users.push_back(dir.path().filename().string());
    if (users.size() == 1) return users.front();
    error = users.empty() ? "no user yet: name one with --user (or run a HotSync first)"
                          : "several users: name one with --user";
    return {};
}

std::string UserDesktopFile(const std::string& user) {
    std::string directory = "memopad";
    std::string file = "memopad.dat";
    if (std::optional<ApplicationEntry> entry = FindConduitEntry(kMemoDatabase, nullptr)) {
        directory = entry->directory;
        file = entry->file0;
    }
    return DesktopFilePath(user, directory, file);
}

std::optional<std::string> LastHotSyncLog(const std::string& user) {
    std::ifstream in(win::HostPath(UserFolder(user) + kHotSyncLogName), std::ios::binary);
    if (!in) return std::nullopt;
    const std::string startMarker = std::string(kLogMarker) + "started ";
    std::string line;
    std::optional<std::string> last;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind(startMarker, 0) == 0) {
            last = std::string();
            inside = true;
        }
        if (inside) *last += line + "\n";
        if (line.rfind(kLogMarker, 0) == 0 && line.rfind(startMarker, 0) != 0) inside = false;
    }
    return last;
}

ConfigureOutcome ConfigureFor(const std::string& user) {
    ConfigureOutcome outcome;
    std::string registryError;
    const std::optional<ApplicationEntry> entry = FindConduitEntry(kMemoDatabase, &registryError);
    if (!entry) {
        outcome.error = !registryError.empty() ? registryError
                                               : "no application entry names a conduit for MemoDB: run `tervano setup`";
        return outcome;
    }
    std::string loadError;
    std::unique_ptr<ConduitModule> conduit = ConduitModule::Load(entry->conduit, loadError);
    if (!conduit) {
        outcome.error = loadError;
        return outcome;
    }
    const std::string folder = UserFolderName(user);
    ConduitPreference preference{};
    const std::optional<ConduitChoice> current = ReadConduitChoice(folder, entry->remote0);
    preference.syncType = current ? current->syncType : kSyncFast;
    preference.preferenceKind = current ? current->kind : 0;
    outcome.result = conduit->ConfigureConduit(preference);
    outcome.preferenceKind = preference.preferenceKind;
    outcome.syncType = preference.syncType;
    if (outcome.result == 0 && (preference.preferenceKind == 1 || preference.preferenceKind == 2)) {
        outcome.error = WriteConduitChoice(folder, entry->remote0, {preference.preferenceKind, preference.syncType});
    }
    return outcome;
}

}  // namespace host
