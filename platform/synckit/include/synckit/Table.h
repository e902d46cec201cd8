// The desktop table library: memo tables held in memory while open and kept in SQLite files
// (the desktop memo file, its ".bak" copy, each ".MPA" archive file).
//
// Paths are Windows paths; they are mapped to host paths through the win layer's prefix.
// Memo texts are single-byte (Windows-1252) in memory and UTF-8 in the file; all 256 byte values
// round-trip. SaveTo writes a new file beside the target, flushes it, renames it into place and
// flushes the directory, so a crash never leaves a half-written file.
//
// Results are 0 for success unless said otherwise; predicates return non-zero for true.
// Cursor calls on a cursor bound to no row return kTableNotBound (predicates return 0).
// The flag arguments of the table, cursor and walk calls change nothing: every walk visits every row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "synckit/Category.h"

inline constexpr int32_t kTableNoSuchFile = 24582;   // OpenFrom: no such file (taken as an empty table)
inline constexpr int32_t kTableDamaged = 24583;      // OpenFrom: not a table of ours, or damaged
inline constexpr int32_t kTableIoError = 24584;      // a file could not be read or written
inline constexpr int32_t kTableNotBound = 24585;     // the cursor is bound to no row
inline constexpr int32_t kTableNotFound = 24586;     // no (further) row
inline constexpr int32_t kTableBadArgument = 24587;

// Desktop record statuses; the archive flag is separate.
inline constexpr int32_t kStatusNone = 0;
inline constexpr int32_t kStatusAdded = 1;
inline constexpr int32_t kStatusModified = 2;
inline constexpr int32_t kStatusDeleted = 4;
inline constexpr int32_t kStatusPending = 8;

class CBaseRecord;
class CBaseIterator;

namespace synckit { struct TableRow; class TableRows; }

class CBaseTable {
public:
    virtual ~CBaseTable();
    CBaseTable(const CBaseTable&) = delete;
    CBaseTable& operator=(const CBaseTable&) = delete;

    // Replaces the rows and categories with the file's and unbinds every cursor and walk.
    // kTableNoSuchFile: no file there; the table is left empty (no rows, no categories).
    // kTableDamaged (not a table file of ours: not SQLite, another marker or schema version, an
    // invalid row, a damaged or truncated file) or kTableIoError (unreadable, or in use by another
    // program that left a journal beside it): the table is left as it was. The file is only ever
    // read: it, and the folder it is in, are left byte for byte as they were.
    // kTableBadArgument for a null or empty path.
    int32_t OpenFrom(const char* path, int32_t flag);
    // Writes the rows (in table order) and the categories to a new file beside the target, flushes
    // it, renames it over the target and flushes the folder. 0 when saved. kTableIoError when the
    // new file could not be written or renamed: the old file is left whole and the new one removed.
    // (kTableIoError also when only the final flush of the folder failed; the target then already
    // holds the new file, whole.) kTableBadArgument for a null or empty path.
    int32_t SaveTo(const char* path);
    int32_t GetRecordCount() const;
    // The purges drop rows (with status deleted, or all of them; the categories stay), renumber the
    // rest in their order and unbind every cursor and walk of the table, whatever they dropped.
    int32_t PurgeDeletedRecords();
    int32_t PurgeAllRecords();
    int32_t ClearPlacementField();  // every row's placement position becomes 0
    CCategoryMgr* GetCategoryManager() { return &categories_; }

    // Appends a blank row (id 0, status none, not archived, not private, category 0, placement 0,
    // empty text) and binds the cursor to it. kTableBadArgument when the cursor belongs to another table.
    virtual int32_t CreateRecord(CBaseRecord& cursor);
    // Appends a copy of the source's row (every field, the record id included; the source may be
    // in another table) and binds the cursor to the copy. kTableNotBound when the source is bound
    // to no row; kTableBadArgument when the cursor belongs to another table.
    virtual int32_t AddRecordCopy(CBaseRecord& source, CBaseRecord& cursor, int32_t flag);

    // The table library's own row store (rows in table order and the id index).

    synckit::TableRows& Rows() { return *rows_; }

protected:
    CBaseTable();

private:
    std::unique_ptr<synckit::TableRows> rows_;
    CCategoryMgr categories_;
};

class CMemoTable : public CBaseTable {
public:
    CMemoTable();
    ~CMemoTable() override;
};

// A cursor on one row of a table. A purge or a load unbinds every cursor of the table. A cursor
// must not outlive its table.
class CBaseRecord {
public:
    CBaseRecord(CBaseTable& table, int16_t flag);
    virtual ~CBaseRecord();

    CBaseTable& Table() const { return *table_; }
    bool IsBound() const;

    int32_t GetRecordId(uint32_t& id) const;
    int32_t SetRecordId(uint32_t id);
    int32_t GetCategoryId(int32_t& category) const;
    int32_t SetCategoryId(int32_t category);
    int32_t GetStatus(int32_t& status) const;
    int32_t SetStatus(int32_t status);  // kTableBadArgument unless one of the kStatus values
    int32_t IsNone() const;
    int32_t IsAdded() const;
    int32_t IsModified() const;
    int32_t IsDeleted() const;
    int32_t IsPending() const;
    int32_t SetArchiveBit(int32_t on);
    int32_t IsArchived() const;
    int32_t SetPlacementPos(int32_t position);
    int32_t GetPlacementPos(int32_t& position) const;

    // Non-zero when both rows hold the same content (text, category, private flag); 0 when either
    // cursor is bound to no row.
    virtual int32_t HasSameContent(CBaseRecord& other);
    // Takes the other row's content (text, category, private flag), status and archive flag; the
    // record id and placement stay. kTableNotBound when either cursor is bound to no row.
    virtual int32_t CopyContent(CBaseRecord& other);

    // Binding, for the table library's own walks. Bind(nullptr), or a row of another table, unbinds.
    void Bind(synckit::TableRow* row);
    synckit::TableRow* Row() const;  // null when bound to no row

private:
    friend class CBaseIterator;
    // For walks that found the row through the table's own index: no check of the row's owner,
    // so a lookup need not touch the row.
    void BindFound(synckit::TableRow* row, uint64_t generation) {
        row_ = row;
        generation_ = generation;
    }

    CBaseTable* table_;
    synckit::TableRow* row_ = nullptr;
    uint64_t generation_ = 0;  // the table's load/purge generation when bound
};

class CMemoRecord : public CBaseRecord {
public:
    CMemoRecord(CBaseTable& table, int16_t flag) : CBaseRecord(table, flag) {}

    int32_t GetMemo(std::string& text) const;  // single-byte text, CR LF line ends
    int32_t SetMemo(std::string_view text);
    int32_t IsPrivate() const;
    int32_t SetPrivate(int32_t on);
};

// A walk over a table. Without a sort it goes in the table's own order. SortByRecordId keeps the
// table's id index (no copying, no re-sort while it stays in force); SortByCatId and
// SortByRecordStatus take the order at the moment of the sort, and the walk keeps it even while
// rows change (rows appended after the sort are left out; a FindFirst after rows were appended or
// the table was purged or loaded sorts again). Within a sort key rows keep the table's own order.
// The sorts always return 0.
//
// The find calls bind the cursor (which must belong to the walk's table, else kTableBadArgument)
// and return 0, or return kTableNotFound and leave the cursor as it was. After a purge or a load of
// the table, FindNext answers kTableNotFound until the walk starts again with FindFirst.
// FindByRecordId finds the first row (in table order) with that id, in any sort, without a scan,
// and the walk goes on from that row.
class CBaseIterator {
public:
    explicit CBaseIterator(CBaseTable& table);
    virtual ~CBaseIterator();

    int32_t SortByRecordId();
    int32_t SortByCatId();
    // Archived, deleted and pending rows first; then added and modified; then unchanged ones.
    int32_t SortByRecordStatus();

    int32_t FindFirst(CBaseRecord& cursor, int32_t flag);  // 0 while there was a row
    int32_t FindNext(CBaseRecord& cursor, int32_t flag);
    int32_t FindByRecordId(uint32_t id, CBaseRecord& cursor, int32_t flag);  // 0 when found
    // Position (from 0) of the walk's current row in the table's own order; kTableNotFound when
    // the walk has no current row (none found yet, or the table was purged or loaded since).
    int32_t GetCurrentRowPosition(long& position) const;

private:
    struct Walk;
    CBaseTable* table_;
    std::unique_ptr<Walk> walk_;
};

class CMemoIterator : public CBaseIterator {
public:
    explicit CMemoIterator(CMemoTable& table) : CBaseIterator(table) {}
};
