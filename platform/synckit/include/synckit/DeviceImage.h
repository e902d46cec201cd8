// The device image: a folder that stands in for the handheld between HotSyncs. It holds one
// database file per handheld database (MemoDB.pdb, ...) and device.ini; it loads into a
// MemoryHandheld and is written back from one, each file replaced atomically.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "synckit/MemoryHandheld.h"
#include "synckit/PdbFile.h"

namespace synckit {

inline constexpr char kDeviceIniName[] = "device.ini";
inline constexpr char kDeviceIniSection[] = "Device";

// What device.ini says about the handheld.
struct DeviceInfo {
    std::string userName;
    std::string romVersion = "3.5";     // "major.minor" or "major.minor.fix"
    uint32_t lastSyncDesktopId = 0;     // the desktop of the last HotSync; 0: never synced
    bool operator==(const DeviceInfo&) const = default;
};

// ---- ROM version text ----
// The ROM software version is 0xMMmfsbbb: major (8 bits), minor (4), fix (4), stage (4, 3 =
// release), build (12), the layout the handheld reports, so its most significant byte is the
// major version. The text names major, minor and an optional fix: "3.5" -> 0x03503000,
// "4.1.2" -> 0x04123000; the stage is always release and the build 0.
// Accepted: major 1-255, minor and fix 0-15, decimal digits only; nullopt otherwise.
std::optional<uint32_t> ParseRomVersion(std::string_view text);
// "3.5", or "3.5.2" when the fix is not 0; stage and build are not shown.
std::string FormatRomVersion(uint32_t romSoftVersion);

// ---- device.ini ----
// [Device] with UserName, RomVersion and LastSyncDesktopId (decimal, empty = 0). Section and key
// names compare without case; blank lines and ';' or '#' comments are skipped; CR LF or LF line
// ends; blanks around keys and values are dropped, and a value in double quotes keeps its blanks.
// Keys of other sections and unknown keys are ignored; a missing key takes the DeviceInfo default.
struct DeviceIniResult {
    std::optional<DeviceInfo> info;
    std::string error;  // when info is empty: "line N: ..." or what else is wrong
};
DeviceIniResult ParseDeviceIni(std::string_view text);
// The text of device.ini holding info: the existing text with the three keys of [Device] set (the
// first of each, other lines, comments and key order kept; missing keys and the section added), or
// a new file when existing is empty. Refused (nullopt, error set): a user name holding CR, LF or
// NUL, or a ROM version ParseRomVersion does not accept.
std::optional<std::string> UpdateDeviceIni(std::string_view existing, const DeviceInfo& info, std::string* error);

// ---- Record attributes between the file and the handheld ----
// The file has no place for the link's archived bit (0x08), so the image keeps it the way the
// handheld does: an archived record is a record with the delete bit whose data is kept; a deleted
// record that is not archived keeps no data. Loading therefore reports a file record with the
// delete bit and data as deleted and archived (0x80 | 0x08), one with the delete bit and no data as
// deleted (0x80); dirty (0x40), busy (0x20) and private (0x10) pass as they are, and the low four
// bits of the file's byte are the category. Saving maps back: archived sets the delete bit and
// keeps the data (an archived record is always deleted in the file, so 0x08 alone reads back as
// 0x88); deleted and not archived sets the delete bit and drops the data; the link's 0x08 never
// reaches the file's low bits, which always hold the category.
HandheldRecord RecordFromFile(const PdbRecord& record);
PdbRecord RecordToFile(const HandheldRecord& record);

struct DeviceLoadResult;

// Results of the calls that change the folder: "" on success, else what failed, naming the file.
struct DeviceSaveResult {
    std::string error;
    bool ok() const { return error.empty(); }
};

class DeviceImage {
public:
    DeviceImage() = default;

    // Reads device.ini and every "*.pdb" file of the folder, checks them all, and only then adds
    // their databases (in file-name order) to `into`, sets its ROM version and its next unique id
    // (the highest header seed, or above the highest record id when that is higher). A database
    // file must hold the database its name names (MemoDB.pdb holds "MemoDB"); MemoDB.pdb must also
    // pass CheckMemoDatabase. A record's unique id must be unique across all files.
    // On failure `into` is unchanged, no file is touched, and error says which file is refused and
    // why ("<path>: <what>"); a missing device.ini is refused too. MemoDB.pdb may be absent (the
    // handheld then has no memo database yet).
    static DeviceLoadResult Load(const std::filesystem::path& folder, MemoryHandheld& into);

    // Writes every database of `from` to <folder>/<name>.pdb and then device.ini from Info(); each
    // file is written beside its target, synced, renamed into place, and the folder synced. A
    // database equal to the one loaded (or last saved) keeps its header, so an image loaded and
    // saved unchanged gets the same bytes; a changed one gets the modification number + 1 and the
    // modification date of now; a new one (made during the sync) gets creation and modification
    // dates of now. MemoDB passes NormalizeMemoDatabase first. The header's unique-id seed is the
    // handheld's next unique id once that has moved since loading.
    // Every database is checked before the first file is written: a refused one (name unfit for a
    // file name, more than 65535 records, ...) or a refused Info() writes nothing. A failure while
    // writing leaves the file it was writing whole (old or new contents) and stops.
    DeviceSaveResult Save(const std::filesystem::path& folder, const MemoryHandheld& from);

    // Makes a new device in `folder` (created when missing): an empty MemoDB with
    // DefaultMemoAppInfo() and device.ini with the user name, the ROM version and no last sync.
    // Refused when the folder already holds device.ini or MemoDB.pdb, or the ROM version is not valid.
    static DeviceSaveResult Init(const std::filesystem::path& folder, const std::string& userName,
                                 const std::string& romVersion = "3.5");

    DeviceInfo& Info() { return info_; }
    const DeviceInfo& Info() const { return info_; }

    // Test seam: called with the target's path after its new contents are written and synced and
    // before the rename that puts them in place (a test kills the process here to show the old
    // file survives). Not for production use.
    void SetBeforeRenameForTest(std::function<void(const std::filesystem::path&)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    DeviceInfo info_;
    std::string iniText_;                        // device.ini as read (kept lines survive a save)
    std::map<std::string, PdbDatabase> saved_;   // by database name: as loaded or last written
    std::optional<uint32_t> savedNextUniqueId_;  // the handheld's next id when loaded or last saved
    std::function<void(const std::filesystem::path&)> beforeRename_;
};

struct DeviceLoadResult {
    std::string error;  // "" on success
    DeviceImage image;  // the loaded image (info, and what Save compares against); default on failure
    bool ok() const { return error.empty(); }
};

// Writes bytes to path atomically: a new file beside it, synced, renamed over it, the folder synced.
// "" on success, else what failed (naming the path); the old file is then whole. beforeRename, when
// set, runs just before the rename.
std::string WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                const std::function<void(const std::filesystem::path&)>& beforeRename = {});

}  // namespace synckit
