// The desktop table library: memo tables held in memory while open and kept in SQLite files
// (the desktop memo file, its ".bak" copy, each ".MPA" archive file).
//
// Paths are Windows paths; they are mapped to host paths through the win layer's prefix.
// Memo texts are single-byte (Windows-1252) in memory and UTF-8 in the file; all 256 byte values
// round-trip. SaveTo writes a new file beside the target, flushes it, renames it into place and
// flushes the directory, so a crash never leaves a half-written file.
//
// Results are 0 for success unless said otherwise; predicates return non-zero for true.
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

    // Replaces the rows and categories with the file's. kTableNoSuchFile leaves the table empty;
    // kTableDamaged or kTableIoError leave the table as it was and the file untouched.
    int32_t OpenFrom(const char* path, int32_t flag);
    int32_t SaveTo(const char* path);
    int32_t GetRecordCount() const;
    int32_t PurgeDeletedRecords();  // drops rows with status deleted
    int32_t PurgeAllRecords();
    int32_t ClearPlacementField();
    CCategoryMgr* GetCategoryManager() { return &categories_; }

    // Appends a blank row (id 0, status none, category 0, empty text) and binds the cursor to it.
    virtual int32_t CreateRecord(CBaseRecord& cursor);
    // Appends a copy of the source's row (every field) and binds the cursor to the copy.
    virtual int32_t AddRecordCopy(CBaseRecord& source, CBaseRecord& cursor, int32_t flag);

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

// A cursor on one row of a table. A purge or a load unbinds every cursor of the table.
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
    int32_t SetStatus(int32_t status);
    int32_t IsNone() const;
    int32_t IsAdded() const;
    int32_t IsModified() const;
    int32_t IsDeleted() const;
    int32_t IsPending() const;
    int32_t SetArchiveBit(int32_t on);
    int32_t IsArchived() const;
    int32_t SetPlacementPos(int32_t position);
    int32_t GetPlacementPos(int32_t& position) const;

    // Non-zero when both rows hold the same content (text, category, private flag).
    virtual int32_t HasSameContent(CBaseRecord& other);
    // Takes the other row's content, status and archive flag; the record id stays.
    virtual int32_t CopyContent(CBaseRecord& other);

    // Binding, for the table library's own walks.
    void Bind(synckit::TableRow* row);
    synckit::TableRow* Row() const;

private:
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
// rows change. Within a sort key rows keep the table's own order.
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
    // Position of the walk's current row in the table's own order.
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
