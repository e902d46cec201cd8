// The table file: one SQLite file per desktop table (the desktop memo file, its ".bak" copy, each
// ".MPA" archive file), read without ever changing it and written by replacing it whole.
//
// Layout (schema version 1):
//   meta(key TEXT PRIMARY KEY, value)          ('format', kTableFileMarker), ('schema_version', 1)
//   categories(idx INTEGER PRIMARY KEY, id, name TEXT, name_dirty)
//   memos(position INTEGER PRIMARY KEY, record_id, status, archived, private, category, placement, text TEXT)
// Texts and names are UTF-8 in the file (Windows-1252 in memory, see Cp1252.h); a memo text keeps
// every byte, NUL included, since it is bound with its length.
#pragma once

#include <cstdint>
#include <filesystem>

#include "TableRows.h"
#include "synckit/Category.h"

namespace synckit {

inline constexpr const char* kTableFileMarker = "Tervano memo table";
inline constexpr int kTableSchemaVersion = 1;

// Fills the (empty) rows and categories from the file at a host path. 0 when loaded;
// kTableNoSuchFile when there is no file; kTableDamaged when the file is not a table file of ours
// or is damaged: not SQLite, another marker or version, a truncated file, a row with an invalid
// status, flag, id or type, two categories or rows in one place; kTableIoError when it cannot be
// read, or a journal of another program's unfinished write lies beside it. On failure the outputs
// may hold part of the file and are to be thrown away. The file is opened read-only and immutable:
// no lock, journal or WAL is created, rolled back or removed, so the folder is left as it was.
// A text or name that is not representable in Windows-1252 gets '?' in place of those characters;
// a category name longer than kCategoryNameMax bytes is cut to that length.
int32_t LoadTableFile(const std::filesystem::path& hostPath, TableRows& rows, CCategoryMgr& categories);

// Writes a complete new file beside the target (same folder, a name unique to this process and
// call), flushes it, renames it over the target and flushes the folder. 0 when saved;
// kTableIoError otherwise, with the target as it was and the new file removed (except when only the
// final folder flush failed: the target then holds the new file, whole). A target that existed
// keeps its permission bits.
int32_t SaveTableFile(const std::filesystem::path& hostPath, const TableRows& rows, const CCategoryMgr& categories);

// Test seam: when set, SaveTableFile calls it after the new file is written and flushed and just
// before the rename, with the new file's and the target's host paths. Returning false makes the
// save fail there (kTableIoError, new file removed), as a failed rename would. Tests use it to fail
// the save at that point or to kill a child process there (a crash between write and rename).
// Not for production code; single-threaded use only.
using BeforeRenameHook = bool (*)(const std::filesystem::path& tempPath, const std::filesystem::path& targetPath);
extern BeforeRenameHook gBeforeRenameHook;

}  // namespace synckit
