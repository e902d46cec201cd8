// The table file's edge to the sqlite3 C library: owning handles, and the one place where SQLite
// result codes become table result codes.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

#include "synckit/Table.h"

namespace synckit::sqlite {

// SQLite's answer while reading a file: the file's content is at fault (damage, not ours) or the
// reading itself failed (input/output, memory, a lock). While writing, every failure is an
// input/output failure, since the file is our own new one.
inline int32_t ReadError(int rc) {
    switch (rc & 0xFF) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
    case SQLITE_SCHEMA:
    case SQLITE_ERROR:     // a missing table or column: not our schema
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
    case SQLITE_TOOBIG:
    case SQLITE_CONSTRAINT:
        return kTableDamaged;
    default:
        return kTableIoError;
    }
}

inline int32_t WriteError(int /*rc*/) { return kTableIoError; }

// An open connection; closed on destruction (statements must be finalized first, which their own
// destructors do when declared after the connection).
class Connection {
public:
    Connection() = default;
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // SQLite result code; on failure the handle is closed again.
    int Open(const char* name, int flags) {
        const int rc = sqlite3_open_v2(name, &db_, flags, nullptr);
        if (rc != SQLITE_OK) Close();
        return rc;
    }
    // SQLite result code of the close; SQLITE_OK when nothing was open.
    int Close() {
        const int rc = sqlite3_close(db_);
        db_ = nullptr;
        return rc;
    }
    sqlite3* get() const { return db_; }
    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement() = default;
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int Prepare(sqlite3* db, std::string_view sql) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        return sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    }
    sqlite3_stmt* get() const { return stmt_; }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace synckit::sqlite
