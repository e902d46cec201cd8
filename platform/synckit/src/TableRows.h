// The rows of an open desktop table, in the table's own order, with an index by record id that is
// kept up to date as rows are added, removed and re-numbered, so that lookups never scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace synckit {

class TableRows;

// One memo row. The content fields are plain data; the record id and the bookkeeping belong to
// TableRows, because the id index must hear of every change of id.
struct TableRow {
    int32_t status = 0;      // 0 none, 1 added, 2 modified, 4 deleted, 8 pending
    bool archived = false;
    bool isPrivate = false;
    int32_t category = 0;    // index 0-15 as a rule; other values are kept as they are
    int32_t placement = 0;   // position on the handheld, 0 when cleared
    std::string text;        // single-byte (Windows-1252), CR LF line ends

    uint32_t RecordId() const { return recordId_; }
    std::size_t Position() const { return position_; }  // index in the table's own order
    const TableRows* Owner() const { return owner_; }

    // Every field a file or a copy carries; the bookkeeping is left out.
    void CopyFieldsFrom(const TableRow& other);

private:
    friend class TableRows;
    uint32_t recordId_ = 0;
    TableRows* owner_ = nullptr;
    std::size_t position_ = 0;
    uint64_t serial_ = 0;  // unique and increasing in table order; breaks ties in the id index
};

// A row's place in the id index: (record id, serial). The walk in id order remembers the key of
// its current row, so it can go on after the row's id has changed.
using RowIdKey = std::pair<uint32_t, uint64_t>;

// For each record id, the key and row of the first row (in table order) holding it: an
// open-addressing hash table in one flat array, so a lookup touches one or two cache lines and not
// the row itself. Record sync looks an id up for every handheld record; this keeps 16,000 of them
// cheap.
class FirstRowById {
public:
    struct Slot {
        RowIdKey key{};  // key.second == 0: empty (serials start at 1)
        TableRow* row = nullptr;
    };

    const Slot* Find(uint32_t id) const;
    // Records the row unless a row earlier in the table already holds the id.
    void Offer(const RowIdKey& key, TableRow* row);
    void Replace(const RowIdKey& key, TableRow* row);  // the id is present
    void Erase(uint32_t id);
    void Clear();

private:
    std::size_t Home(uint32_t id) const { return (id * 0x9E3779B1u) >> shift_; }
    std::size_t Probe(uint32_t id) const;  // the id's slot, or the empty one where it would go
    void Grow();

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    unsigned shift_ = 32;
};

class TableRows {
public:
    TableRows() = default;
    TableRows(const TableRows&) = delete;
    TableRows& operator=(const TableRows&) = delete;

    std::size_t Count() const { return rows_.size(); }
    TableRow* At(std::size_t position) { return position < rows_.size() ? rows_[position].get() : nullptr; }
    const TableRow* At(std::size_t position) const {
        return position < rows_.size() ? rows_[position].get() : nullptr;
    }

    // Appends a row holding the fields of `fields` and the given id; returns it (never null).
    TableRow* Append(const TableRow& fields, uint32_t recordId);
    void SetRecordId(TableRow& row, uint32_t recordId);

    // The first row (in table order) with that id and its key, or null. O(1) on average, and the
    // row is not touched.
    TableRow* FindById(uint32_t recordId, RowIdKey* key = nullptr) const;
    // The walk in id order: the row after a key (null at the end; after {0, 0} the very first row)
    // and its key. O(log N).
    TableRow* NextInIdOrder(const RowIdKey& after, RowIdKey* key = nullptr);
    static RowIdKey KeyOf(const TableRow& row) { return {row.recordId_, row.serial_}; }

    // Drops the rows with that status (every row for RemoveAll), renumbers the rest and starts a
    // new generation, which unbinds every cursor and walk of the table. Returns the number dropped.
    std::size_t RemoveWithStatus(int32_t status);
    void RemoveAll();
    // Replaces every row with the given ones (a load); a new generation as well.
    void ReplaceWith(TableRows& loaded);

    // Cursors and walks remember the generation they were bound in; a row pointer is good only while
    // the generation is unchanged, since only a new generation frees rows.
    uint64_t Generation() const { return generation_; }

private:
    void Reindex();
    void IndexRow(TableRow* row);
    void UnindexRow(TableRow& row);

    std::vector<std::unique_ptr<TableRow>> rows_;
    std::map<RowIdKey, TableRow*> byId_;  // every row, for the walk in id order
    FirstRowById firstById_;              // the first row of each id, for lookups
    uint64_t nextSerial_ = 1;
    uint64_t generation_ = 1;  // a cursor's generation 0 never matches
};

}  // namespace synckit
