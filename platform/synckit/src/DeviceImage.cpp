// The device image folder: loads its files into a MemoryHandheld after checking every one, and
// writes them back one atomic replacement at a time.
#include "synckit/DeviceImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <system_error>
#include <unordered_map>
#include <utility>
#include <vector>

namespace synckit {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kLinkFlagBits = kRecAttrDeleted | kRecAttrDirty | kRecAttrBusy | kRecAttrPrivate;
static_assert(kRecAttrDeleted == kPdbRecDelete && kRecAttrDirty == kPdbRecDirty && kRecAttrBusy == kPdbRecBusy &&
                  kRecAttrPrivate == kPdbRecSecret,
              "the four flag bits have the same places in the file and on the link");

// Largest file read: any offset of the format fits below it.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;
constexpr uint64_t kMaxIniSize = 64 * 1024;

std::string ErrnoText(int err) { return std::strerror(err); }

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
private:
    int fd_;
};

// Reads a whole file; "" on success, else what failed (the caller names the file).
std::string ReadWholeFile(const fs::path& path, uint64_t maxSize, std::string& out) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return "cannot open: " + ErrnoText(errno);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return "cannot read: " + ErrnoText(errno);
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (static_cast<uint64_t>(st.st_size) > maxSize) {
        return "file of " + std::to_string(st.st_size) + " bytes is too large (at most " + std::to_string(maxSize) + ")";
    }
    out.clear();
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return "cannot read: " + ErrnoText(errno);
        }
        if (n == 0) break;
        if (out.size() + static_cast<size_t>(n) > maxSize) return "file grew beyond " + std::to_string(maxSize) + " bytes while read";
        out.append(buf, static_cast<size_t>(n));
    }
    return "";
}

std::string WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return ErrnoText(errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return "";
}

std::string SyncDirectory(const fs::path& dir) {
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return "cannot open folder " + dir.string() + ": " + ErrnoText(errno);
    if (::fsync(fd.get()) != 0) return "cannot sync folder " + dir.string() + ": " + ErrnoText(errno);
    return "";
}

// The temporary files a save makes beside a target: ".<name>.new-XXXXXX". Left behind only by a
// crash; the next save of that target removes them.
std::string TempPrefixFor(const fs::path& target) { return "." + target.filename().string() + ".new-"; }

void RemoveStaleTemps(const fs::path& target) {
    std::error_code ec;
    const std::string prefix = TempPrefixFor(target);
    for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
            std::error_code ignored;
            fs::remove(it->path(), ignored);
        }
    }
}

// A database name that can be a file name in the folder as it is.
bool FitsFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::time_t Now() { return std::time(nullptr); }

// A database as the file keeps it, from the handheld's copy, keeping the header of `previous`.
PdbDatabase ToFile(const HandheldDatabase& db, const PdbDatabase* previous) {
    PdbDatabase out;
    if (previous != nullptr) out = *previous;
    out.name = db.name;
    // The handheld's database flags are the file's database attributes; the image holds record
    // databases only, so the resource bit is never written.
    out.attributes = static_cast<uint16_t>(db.flags & 0xFFFF & ~kPdbAttrResource);
    out.type = db.type;
    out.creator = db.creator;
    out.appInfo = db.appInfo;
    out.records.clear();
    out.records.reserve(db.records.size());
    const bool memo = db.name == kMemoDbName;
    for (const HandheldRecord& rec : db.records) {
        out.records.push_back(RecordToFile(rec));
        // An archived memo with no data would read back as merely deleted: give it the empty text.
        if (memo && (rec.attributes & kRecAttrArchived) != 0 && rec.data.empty()) out.records.back().data.push_back('\0');
    }
    if (memo) NormalizeMemoDatabase(out);
    // An empty block is written as none; compare as the file will read back.
    if (out.appInfo && out.appInfo->empty()) out.appInfo.reset();
    if (out.sortInfo && out.sortInfo->empty()) out.sortInfo.reset();
    return out;
}

// One database file checked and ready to be added to the handheld.
struct LoadedFile {
    fs::path path;
    PdbDatabase database;
};

}  // namespace

HandheldRecord RecordFromFile(const PdbRecord& rec) {
    HandheldRecord out;
    out.id = rec.uniqueId;
    out.attributes = static_cast<uint8_t>(rec.attributes & kLinkFlagBits);
    if ((rec.attributes & kPdbRecDelete) != 0 && !rec.data.empty()) out.attributes |= kRecAttrArchived;
    out.category = static_cast<uint8_t>(rec.attributes & kPdbRecCategoryMask);
    out.data = rec.data;
    return out;
}

PdbRecord RecordToFile(const HandheldRecord& rec) {
    PdbRecord out;
    out.uniqueId = rec.id;
    const bool archived = (rec.attributes & kRecAttrArchived) != 0;
    const bool deleted = (rec.attributes & kRecAttrDeleted) != 0;
    out.attributes = static_cast<uint8_t>((rec.attributes & kLinkFlagBits) | (rec.category & kPdbRecCategoryMask));
    if (archived) out.attributes |= kPdbRecDelete;
    if (!(deleted && !archived)) out.data = rec.data;
    return out;
}

std::string WriteFileAtomically(const fs::path& path, std::string_view bytes,
                                const std::function<void(const fs::path&)>& beforeRename) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    RemoveStaleTemps(dir / path.filename());
    std::string temp = (dir / (TempPrefixFor(path) + "XXXXXX")).string();
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return path.string() + ": cannot create a new file beside it: " + ErrnoText(errno);
    auto fail = [&](std::string what) {
        ::unlink(temp.c_str());
        return path.string() + ": " + what;
    };
    // Keep the permissions of the file being replaced; a new file is readable by all.
    struct stat st {};
    const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
    if (::fchmod(fd.get(), mode) != 0) return fail("cannot set permissions: " + ErrnoText(errno));
    if (std::string bad = WriteAll(fd.get(), bytes); !bad.empty()) return fail("cannot write: " + bad);
    if (::fsync(fd.get()) != 0) return fail("cannot sync: " + ErrnoText(errno));
    if (::close(fd.release()) != 0) return fail("cannot close: " + ErrnoText(errno));
    if (beforeRename) beforeRename(path);
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail("cannot rename the new file into place: " + ErrnoText(errno));
    if (std::string bad = SyncDirectory(dir); !bad.empty()) return path.string() + ": written, but " + bad;
    return "";
}

DeviceLoadResult DeviceImage::Load(const fs::path& folder, MemoryHandheld& into) {
    DeviceLoadResult result;
    auto refuse = [&result](const fs::path& path, const std::string& what) {
        result.error = path.string() + ": " + what;
        return std::move(result);
    };

    const fs::path iniPath = folder / kDeviceIniName;
    std::string iniText;
    if (std::string bad = ReadWholeFile(iniPath, kMaxIniSize, iniText); !bad.empty()) return refuse(iniPath, bad);
    DeviceIniResult ini = ParseDeviceIni(iniText);
    if (!ini.info) return refuse(iniPath, ini.error);
    const auto rom = ParseRomVersion(ini.info->romVersion);  // ParseDeviceIni accepted it

    std::vector<fs::path> paths;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".pdb" && it->path().filename().string().front() != '.') paths.push_back(it->path());
    }
    if (ec) return refuse(folder, "cannot list the folder: " + ec.message());
    std::sort(paths.begin(), paths.end());

    std::vector<LoadedFile> files;
    std::unordered_map<uint32_t, size_t> idOwner;  // unique id -> index in files
    uint32_t nextId = 0;
    for (const fs::path& path : paths) {
        std::string bytes;
        if (std::string bad = ReadWholeFile(path, kMaxFileSize, bytes); !bad.empty()) return refuse(path, bad);
        PdbParseResult parsed = ParsePdb(bytes);
        if (!parsed.database) return refuse(path, parsed.error);
        PdbDatabase& db = *parsed.database;
        const std::string stem = path.stem().string();
        if (stem == kMemoDbName) {
            if (std::string bad = CheckMemoDatabase(db); !bad.empty()) return refuse(path, bad);
        } else if (db.name != stem) {
            return refuse(path, "database name is '" + db.name + "', expected '" + stem + "' as the file is named");
        }
        if (into.FindDatabase(db.name) != nullptr) {
            return refuse(path, "the handheld already holds a database named '" + db.name + "'");
        }
        for (size_t i = 0; i < db.records.size(); ++i) {
            const uint32_t id = db.records[i].uniqueId;
            const auto [owner, fresh] = idOwner.emplace(id, files.size());
            if (!fresh) {
                return refuse(path, "record " + std::to_string(i) + " has unique id " + std::to_string(id) +
                                        ", which " + files[owner->second].path.filename().string() + " uses already");
            }
            if (id >= nextId) nextId = id + 1;
        }
        nextId = std::max(nextId, db.uniqueIdSeed);
        files.push_back(LoadedFile{path, std::move(db)});
    }

    // Everything is sound: only now does the handheld change.
    for (const LoadedFile& file : files) {
        const PdbDatabase& db = file.database;
        HandheldDatabase& target = into.AddDatabase(db.name, db.creator, db.type);
        target.flags = db.attributes;
        target.appInfo = db.appInfo;
        target.records.reserve(db.records.size());
        for (const PdbRecord& rec : db.records) target.records.push_back(RecordFromFile(rec));
        result.image.saved_.emplace(db.name, db);
    }
    into.SetRomVersion(*rom);
    // Ids go on above every id the files hold or promise; 0 and the end of the id space wrap to 1.
    if (nextId > kPdbMaxUniqueId) nextId = 1;
    if (nextId != 0) into.SetNextUniqueId(nextId);
    result.image.savedNextUniqueId_ = into.NextUniqueId();
    result.image.info_ = *ini.info;
    result.image.iniText_ = std::move(iniText);
    return result;
}

DeviceSaveResult DeviceImage::Save(const fs::path& folder, const MemoryHandheld& from) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return DeviceSaveResult{folder.string() + ": not a folder"};

    std::string iniError;
    const std::optional<std::string> iniText = UpdateDeviceIni(iniText_, info_, &iniError);
    const fs::path iniPath = folder / kDeviceIniName;
    if (!iniText) return DeviceSaveResult{iniPath.string() + ": " + iniError};

    const uint32_t nextId = from.NextUniqueId();
    const bool seedMoved = !savedNextUniqueId_ || *savedNextUniqueId_ != nextId;
    const uint32_t now = PdbDateFromUnix(Now());

    struct Pending {
        fs::path path;
        PdbDatabase database;
        std::string bytes;
    };
    std::vector<Pending> pending;
    std::set<std::string> names;
    for (const HandheldDatabase& db : from.Databases()) {
        const fs::path path = folder / (db.name + ".pdb");
        if (!FitsFileName(db.name)) return DeviceSaveResult{path.string() + ": the database name cannot name a file"};
        if (!names.insert(db.name).second) return DeviceSaveResult{path.string() + ": two databases have this name"};
        const auto previous = saved_.find(db.name);
        const PdbDatabase* before = previous != saved_.end() ? &previous->second : nullptr;
        PdbDatabase file = ToFile(db, before);
        if (before == nullptr) {
            file.creationDate = now;
            file.modificationDate = now;
        } else if (file != *before) {
            file.modificationDate = now;
            file.modificationNumber = before->modificationNumber + 1;
        }
        if (before == nullptr || seedMoved) file.uniqueIdSeed = nextId;
        PdbSerializeResult bytes = SerializePdb(file);
        if (!bytes.error.empty()) return DeviceSaveResult{path.string() + ": " + bytes.error};
        pending.push_back(Pending{path, std::move(file), std::move(bytes.bytes)});
    }

    for (Pending& p : pending) {
        if (std::string bad = WriteFileAtomically(p.path, p.bytes, beforeRename_); !bad.empty()) return DeviceSaveResult{bad};
        saved_[p.database.name] = std::move(p.database);
    }
    if (std::string bad = WriteFileAtomically(iniPath, *iniText, beforeRename_); !bad.empty()) return DeviceSaveResult{bad};
    iniText_ = *iniText;
    savedNextUniqueId_ = nextId;
    return DeviceSaveResult{};
}

DeviceSaveResult DeviceImage::Init(const fs::path& folder, const std::string& userName, const std::string& romVersion) {
    if (!ParseRomVersion(romVersion)) {
        return DeviceSaveResult{"ROM version '" + romVersion + "' is not a version like 3.5"};
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return DeviceSaveResult{folder.string() + ": cannot create the folder: " + ec.message()};
    for (const char* name : {kDeviceIniName, "MemoDB.pdb"}) {
        if (fs::exists(folder / name, ec)) return DeviceSaveResult{(folder / name).string() + ": the folder already holds a device image"};
    }
    MemoryHandheld handheld;
    HandheldDatabase& memo = handheld.AddDatabase(kMemoDbName, kMemoDbCreator, kMemoDbType);
    memo.appInfo = DefaultMemoAppInfo();
    DeviceImage image;
    image.info_.userName = userName;
    image.info_.romVersion = romVersion;
    return image.Save(folder, handheld);
}

}  // namespace synckit
