// Loading a table file: checks that it is a whole table file of ours, then reads and validates
// every category and row. The file is only read, never locked, journalled or rolled back.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "Cp1252.h"
#include "TableStore.h"
#include "TableStoreSqlite.h"

namespace synckit {
namespace {

namespace fs = std::filesystem;
using sqlite::ReadError;

// The header fields that tell a whole SQLite file from a cut one (the file format's first 100 bytes).
constexpr std::size_t kHeaderSize = 100;
constexpr char kSqliteMagic[] = "SQLite format 3";  // 16 bytes with its NUL

uint32_t BigEndian(const unsigned char* p, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

// kTableDamaged unless the file starts with an SQLite header whose page size and page count fit
// the file's length. SQLite itself would read a cut file's missing tail as zeros, and a cut in
// unused space would go unnoticed.
int32_t CheckHeader(const fs::path& path, off_t fileSize) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? kTableNoSuchFile : kTableIoError;
    unsigned char header[kHeaderSize];
    std::size_t got = 0;
    while (got < kHeaderSize) {
        const ssize_t n = ::read(fd, header + got, kHeaderSize - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return kTableIoError;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (got < kHeaderSize || std::memcmp(header, kSqliteMagic, sizeof kSqliteMagic) != 0) return kTableDamaged;

    uint32_t pageSize = BigEndian(header + 16, 2);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) return kTableDamaged;
    if (fileSize % pageSize != 0) return kTableDamaged;
    // The page count in the header is trusted only when the change counter equals the
    // version-valid-for number (as SQLite does); every file we write has it so.
    const uint32_t pageCount = BigEndian(header + 28, 4);
    const bool countValid = pageCount != 0 && BigEndian(header + 24, 4) == BigEndian(header + 92, 4);
    if (countValid && static_cast<uint64_t>(fileSize) != static_cast<uint64_t>(pageCount) * pageSize) {
        return kTableDamaged;
    }
    return 0;
}

// "file:" URI for the path, every byte outside a safe set percent-encoded, with immutable=1:
// SQLite then takes no lock and never looks for, creates or rolls back a journal or WAL.
std::string ImmutableUri(const fs::path& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (unsigned char c : fs::absolute(path).string()) {
        const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                          c == '/' || c == '.' || c == '-' || c == '_' || c == '~';
        if (safe) {
            uri.push_back(static_cast<char>(c));
        } else {
            uri.push_back('%');
            uri.push_back(kHex[c >> 4]);
            uri.push_back(kHex[c & 0xF]);
        }
    }
    uri += "?immutable=1";
    return uri;
}

bool Exists(const fs::path& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Column readers: false when the value has the wrong type or lies outside [lo, hi].
bool IntColumn(sqlite3_stmt* stmt, int column, int64_t lo, int64_t hi, int64_t& out) {
    if (sqlite3_column_type(stmt, column) != SQLITE_INTEGER) return false;
    out = sqlite3_column_int64(stmt, column);
    return out >= lo && out <= hi;
}

bool TextColumn(sqlite3_stmt* stmt, int column, std::string& out) {
    if (sqlite3_column_type(stmt, column) != SQLITE_TEXT) return false;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    const int length = sqlite3_column_bytes(stmt, column);  // the whole value, NULs included
    out = Utf8ToCp1252(std::string_view(text != nullptr ? text : "", static_cast<std::size_t>(length)));
    return true;
}

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

bool ValidStatus(int64_t status) {
    return status == kStatusNone || status == kStatusAdded || status == kStatusModified ||
           status == kStatusDeleted || status == kStatusPending;
}

int32_t ReadMeta(sqlite3* db) {
    sqlite::Statement stmt;
    int rc = stmt.Prepare(db, "SELECT key, value FROM meta");
    if (rc != SQLITE_OK) return ReadError(rc);
    bool markerSeen = false, versionSeen = false;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        const auto* key = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
        if (key == nullptr) continue;
        if (std::strcmp(key, "format") == 0) {
            // The type first: reading the value as text would convert it.
            if (sqlite3_column_type(stmt.get(), 1) != SQLITE_TEXT) return kTableDamaged;
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 1));
            if (value == nullptr || std::strcmp(value, kTableFileMarker) != 0) return kTableDamaged;
            markerSeen = true;
        } else if (std::strcmp(key, "schema_version") == 0) {
            int64_t version = 0;
            if (!IntColumn(stmt.get(), 1, kTableSchemaVersion, kTableSchemaVersion, version)) return kTableDamaged;
            versionSeen = true;
        }
    }
    if (rc != SQLITE_DONE) return ReadError(rc);
    return markerSeen && versionSeen ? 0 : kTableDamaged;
}

int32_t ReadCategories(sqlite3* db, CCategoryMgr& categories) {
    sqlite::Statement stmt;
    int rc = stmt.Prepare(db, "SELECT idx, id, name, name_dirty FROM categories ORDER BY idx");
    if (rc != SQLITE_OK) return ReadError(rc);
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        int64_t index = 0, id = 0, dirty = 0;
        std::string name;
        if (!IntColumn(stmt.get(), 0, 0, kCategoryCount - 1, index) || !IntColumn(stmt.get(), 1, 0, 255, id) ||
            !TextColumn(stmt.get(), 2, name) || !IntColumn(stmt.get(), 3, 0, 1, dirty)) {
            return kTableDamaged;
        }
        if (name.size() > static_cast<std::size_t>(kCategoryNameMax)) name.resize(kCategoryNameMax);
        auto category = std::make_unique<CCategory>();
        category->SetIndex(static_cast<int32_t>(index));
        category->SetID(static_cast<int32_t>(id));
        category->SetName(name);
        category->SetNameDirty(static_cast<int32_t>(dirty));
        if (categories.Add(category.get()) != CAT_OK) return kTableDamaged;  // two at one index
        category.release();  // owned by the manager now
    }
    return rc == SQLITE_DONE ? 0 : ReadError(rc);
}

int32_t ReadMemos(sqlite3* db, TableRows& rows) {
    sqlite::Statement stmt;
    int rc = stmt.Prepare(db,
                          "SELECT position, record_id, status, archived, private, category, placement, text "
                          "FROM memos ORDER BY position");
    if (rc != SQLITE_OK) return ReadError(rc);
    bool first = true;
    int64_t lastPosition = 0;
    TableRow fields;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        sqlite3_stmt* s = stmt.get();
        int64_t position = 0, id = 0, status = 0, archived = 0, isPrivate = 0, category = 0, placement = 0;
        if (!IntColumn(s, 0, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), position) ||
            !IntColumn(s, 1, 0, std::numeric_limits<uint32_t>::max(), id) ||
            !IntColumn(s, 2, 0, kStatusPending, status) || !ValidStatus(status) ||
            !IntColumn(s, 3, 0, 1, archived) || !IntColumn(s, 4, 0, 1, isPrivate) ||
            // Categories outside 0-15 are kept as they are: the archiver files them under "Unfiled".
            !IntColumn(s, 5, kInt32Min, kInt32Max, category) || !IntColumn(s, 6, kInt32Min, kInt32Max, placement) ||
            !TextColumn(s, 7, fields.text)) {
            return kTableDamaged;
        }
        if (!first && position == lastPosition) return kTableDamaged;  // two rows in one place
        first = false;
        lastPosition = position;
        fields.status = static_cast<int32_t>(status);
        fields.archived = archived != 0;
        fields.isPrivate = isPrivate != 0;
        fields.category = static_cast<int32_t>(category);
        fields.placement = static_cast<int32_t>(placement);
        rows.Append(fields, static_cast<uint32_t>(id));
    }
    return rc == SQLITE_DONE ? 0 : ReadError(rc);
}

}  // namespace

int32_t LoadTableFile(const fs::path& hostPath, TableRows& rows, CCategoryMgr& categories) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? kTableNoSuchFile : kTableIoError;
    }
    if (!S_ISREG(st.st_mode)) return kTableIoError;
    // Another program's unfinished write: its journal would have to be rolled back (a change to the
    // file) before the content means anything, so the file is refused as it is.
    fs::path journal = hostPath, wal = hostPath;
    journal += "-journal";
    wal += "-wal";
    if (Exists(journal) || Exists(wal)) return kTableIoError;

    if (const int32_t header = CheckHeader(hostPath, st.st_size); header != 0) return header;

    sqlite::Connection db;
    const std::string uri = ImmutableUri(hostPath);
    int rc = db.Open(uri.c_str(), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (rc != SQLITE_OK) return ReadError(rc);
    if (const int32_t result = ReadMeta(db.get()); result != 0) return result;
    if (const int32_t result = ReadCategories(db.get(), categories); result != 0) return result;
    return ReadMemos(db.get(), rows);
}

}  // namespace synckit
