// Saving a table file: a complete new file beside the target, flushed, renamed into place, and the
// folder flushed, so that the target is at every moment either the old file or the new one, whole.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "Cp1252.h"
#include "TableStore.h"
#include "TableStoreSqlite.h"

namespace synckit {

BeforeRenameHook gBeforeRenameHook = nullptr;

namespace {

namespace fs = std::filesystem;
using sqlite::WriteError;

// Removes the new file unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    ~TempFile() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates an empty new file in the folder, named after the target, this process and a counter,
    // so that two tables saving into one folder never meet. False on failure.
    bool Create(const fs::path& folder, const std::string& targetName, mode_t mode) {
        static std::atomic<uint64_t> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            fs::path candidate = folder / ("." + targetName + ".tmp-" + std::to_string(::getpid()) + "-" +
                                           std::to_string(counter.fetch_add(1)));
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0 && errno == EEXIST) continue;  // left behind by an earlier process of that id
            if (fd < 0) return false;
            path_ = std::move(candidate);
            ::close(fd);
            return true;
        }
        return false;
    }
    const fs::path& Path() const { return path_; }
    void Release() { path_.clear(); }

private:
    fs::path path_;
};

// Removes the new files of earlier saves of the target that a crash left behind: those named after
// a process that no longer runs. A save in progress in a live process keeps its file.
void RemoveStaleTemps(const fs::path& folder, const std::string& targetName) {
    const std::string prefix = "." + targetName + ".tmp-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const size_t dash = rest.find('-');
        if (dash == 0 || dash == std::string::npos || rest.find_first_not_of("0123456789-") != std::string::npos) continue;
        const long pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        std::error_code ignored;
        fs::remove(it->path(), ignored);
    }
}

bool SyncPath(const fs::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

constexpr const char* kSchema =
    "PRAGMA journal_mode=MEMORY;"  // a new file no one else reads: no journal beside it
    "PRAGMA synchronous=OFF;"      // flushed once, as a whole, before the rename
    "BEGIN;"
    "CREATE TABLE meta(key TEXT PRIMARY KEY, value);"
    "CREATE TABLE categories(idx INTEGER PRIMARY KEY, id INTEGER NOT NULL, name TEXT NOT NULL,"
    " name_dirty INTEGER NOT NULL);"
    "CREATE TABLE memos(position INTEGER PRIMARY KEY, record_id INTEGER NOT NULL, status INTEGER NOT NULL,"
    " archived INTEGER NOT NULL, private INTEGER NOT NULL, category INTEGER NOT NULL,"
    " placement INTEGER NOT NULL, text TEXT NOT NULL);";

int WriteContent(sqlite3* db, const TableRows& rows, const CCategoryMgr& categories) {
    int rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;

    sqlite::Statement meta;
    if ((rc = meta.Prepare(db, "INSERT INTO meta(key, value) VALUES('format', ?1), ('schema_version', ?2)")) != SQLITE_OK) {
        return rc;
    }
    sqlite3_bind_text(meta.get(), 1, kTableFileMarker, -1, SQLITE_STATIC);
    sqlite3_bind_int(meta.get(), 2, kTableSchemaVersion);
    if ((rc = sqlite3_step(meta.get())) != SQLITE_DONE) return rc;

    sqlite::Statement cat;
    if ((rc = cat.Prepare(db, "INSERT INTO categories(idx, id, name, name_dirty) VALUES(?1, ?2, ?3, ?4)")) != SQLITE_OK) {
        return rc;
    }
    int catRc = SQLITE_DONE;
    categories.ForEachCategory([&](const CCategory& category) {
        if (catRc != SQLITE_DONE) return;
        const std::string name = Cp1252ToUtf8(category.GetName());
        sqlite3_bind_int(cat.get(), 1, category.GetIndex());
        sqlite3_bind_int(cat.get(), 2, category.GetID());
        sqlite3_bind_text(cat.get(), 3, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
        sqlite3_bind_int(cat.get(), 4, category.GetNameDirty());
        catRc = sqlite3_step(cat.get());
        sqlite3_reset(cat.get());
    });
    if (catRc != SQLITE_DONE) return catRc;

    sqlite::Statement memo;
    if ((rc = memo.Prepare(db,
                           "INSERT INTO memos(position, record_id, status, archived, private, category, placement, text)"
                           " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)")) != SQLITE_OK) {
        return rc;
    }
    std::string text;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const TableRow& row = *rows.At(i);
        text = Cp1252ToUtf8(row.text);
        if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return SQLITE_TOOBIG;
        sqlite3_stmt* s = memo.get();
        sqlite3_bind_int64(s, 1, static_cast<sqlite3_int64>(i));
        sqlite3_bind_int64(s, 2, row.RecordId());
        sqlite3_bind_int(s, 3, row.status);
        sqlite3_bind_int(s, 4, row.archived ? 1 : 0);
        sqlite3_bind_int(s, 5, row.isPrivate ? 1 : 0);
        sqlite3_bind_int(s, 6, row.category);
        sqlite3_bind_int(s, 7, row.placement);
        // Bound with its length, so a NUL byte in a memo is kept like any other.
        sqlite3_bind_text(s, 8, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) return rc;
    }
    return sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
}

}  // namespace

int32_t SaveTableFile(const fs::path& hostPath, const TableRows& rows, const CCategoryMgr& categories) {
    const fs::path target = fs::absolute(hostPath);
    const std::string targetName = target.filename().string();
    if (targetName.empty()) return kTableIoError;
    const fs::path folder = target.parent_path();

    // A file that is replaced keeps its permission bits; a new one gets the usual ones.
    struct stat st;
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    const mode_t mode = replacing ? (st.st_mode & 07777) : 0666;

    RemoveStaleTemps(folder, targetName);
    TempFile temp;
    if (!temp.Create(folder, targetName, mode)) return kTableIoError;
    if (replacing && ::chmod(temp.Path().c_str(), mode) != 0) return kTableIoError;  // the umask cut it

    {
        sqlite::Connection db;
        int rc = db.Open(temp.Path().c_str(), SQLITE_OPEN_READWRITE);
        if (rc != SQLITE_OK) return WriteError(rc);
        rc = WriteContent(db.get(), rows, categories);
        if (rc != SQLITE_OK) return WriteError(rc);
        // Statements are finalized by now (WriteContent's locals), so the close succeeds unless
        // the last write-out fails.
        if ((rc = db.Close()) != SQLITE_OK) return WriteError(rc);
    }
    if (!SyncPath(temp.Path(), O_RDONLY)) return kTableIoError;
    if (gBeforeRenameHook != nullptr && !gBeforeRenameHook(temp.Path(), target)) return kTableIoError;
    if (::rename(temp.Path().c_str(), target.c_str()) != 0) return kTableIoError;
    temp.Release();
    return SyncPath(folder, O_RDONLY | O_DIRECTORY) ? 0 : kTableIoError;
}

}  // namespace synckit
