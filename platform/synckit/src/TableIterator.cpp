// Walks over a desktop table: in table order, in record-id order (through the table's id index),
// or in a snapshot order grouped by category or by status.
#include <algorithm>
#include <array>
#include <vector>

#include "TableRows.h"
#include "synckit/Table.h"

using synckit::RowIdKey;
using synckit::TableRow;
using synckit::TableRows;

namespace {

enum class Order { kTable, kRecordId, kCategory, kStatus };

// Status groups of SortByRecordStatus, by status value: archived, deleted and pending rows first,
// then added and modified ones, then unchanged ones. An archived row is in the first group
// whatever its status.
constexpr int kArchivedGroup = 0;
constexpr std::array<int, kStatusPending + 1> kStatusGroup = [] {
    std::array<int, kStatusPending + 1> groups{};
    groups.fill(2);
    groups[kStatusNone] = 2;
    groups[kStatusAdded] = 1;
    groups[kStatusModified] = 1;
    groups[kStatusDeleted] = 0;
    groups[kStatusPending] = 0;
    return groups;
}();
static_assert(kStatusGroup[kStatusDeleted] == kArchivedGroup && kStatusGroup[kStatusPending] == kArchivedGroup);

int StatusGroup(const TableRow& row) {
    if (row.archived) return kArchivedGroup;
    return row.status >= 0 && row.status <= kStatusPending ? kStatusGroup[row.status] : 2;
}

}  // namespace

struct CBaseIterator::Walk {
    Order order = Order::kTable;

    // Snapshot orders: the rows at the moment of the sort, and what the table was then.
    std::vector<TableRow*> snapshot;
    uint64_t snapshotGeneration = 0;
    std::size_t snapshotCount = 0;

    // The current row, valid while the table's generation is `generation`.
    TableRow* current = nullptr;
    uint64_t generation = 0;
    RowIdKey currentKey{};        // the current row's place in the id index when it was found
    std::size_t snapshotAt = 0;   // its place in the snapshot, when snapshotAtKnown
    bool snapshotAtKnown = false;

    void TakeSnapshot(TableRows& rows) {
        snapshot.clear();
        snapshot.reserve(rows.Count());
        for (std::size_t i = 0; i < rows.Count(); ++i) snapshot.push_back(rows.At(i));
        // Stable: within a key, the table's own order.
        if (order == Order::kCategory) {
            std::stable_sort(snapshot.begin(), snapshot.end(),
                             [](const TableRow* a, const TableRow* b) { return a->category < b->category; });
        } else {
            std::stable_sort(snapshot.begin(), snapshot.end(), [](const TableRow* a, const TableRow* b) {
                return StatusGroup(*a) < StatusGroup(*b);
            });
        }
        snapshotGeneration = rows.Generation();
        snapshotCount = rows.Count();
    }

    // Binds the cursor and makes the row (a row of this walk's table, with that key in the id
    // index) the walk's current one; kTableNotFound without a row.
    int32_t Land(TableRows& rows, TableRow* row, const RowIdKey& key, CBaseRecord& cursor) {
        if (row == nullptr) return kTableNotFound;
        cursor.BindFound(row, rows.Generation());
        current = row;
        generation = rows.Generation();
        currentKey = key;
        return 0;
    }
};

CBaseIterator::CBaseIterator(CBaseTable& table) : table_(&table), walk_(std::make_unique<Walk>()) {}
CBaseIterator::~CBaseIterator() = default;

int32_t CBaseIterator::SortByRecordId() {
    walk_->order = Order::kRecordId;  // the id index is always up to date: nothing to sort
    return 0;
}

int32_t CBaseIterator::SortByCatId() {
    walk_->order = Order::kCategory;
    walk_->TakeSnapshot(table_->Rows());
    return 0;
}

int32_t CBaseIterator::SortByRecordStatus() {
    walk_->order = Order::kStatus;
    walk_->TakeSnapshot(table_->Rows());
    return 0;
}

int32_t CBaseIterator::FindFirst(CBaseRecord& cursor, int32_t /*flag*/) {
    if (&cursor.Table() != table_) return kTableBadArgument;
    TableRows& rows = table_->Rows();
    Walk& walk = *walk_;
    TableRow* row = nullptr;
    RowIdKey key{};
    switch (walk.order) {
    case Order::kTable:
        row = rows.At(0);
        break;
    case Order::kRecordId:
        row = rows.NextInIdOrder(RowIdKey{0, 0}, &key);  // serials start at 1: the very first
        break;
    case Order::kCategory:
    case Order::kStatus:
        // The sort stays in force; it is taken again only when the snapshot no longer covers the table.
        if (walk.snapshotGeneration != rows.Generation() || walk.snapshotCount != rows.Count()) {
            walk.TakeSnapshot(rows);
        }
        row = walk.snapshot.empty() ? nullptr : walk.snapshot.front();
        break;
    }
    if (row != nullptr && walk.order != Order::kRecordId) key = TableRows::KeyOf(*row);
    const int32_t result = walk.Land(rows, row, key, cursor);
    if (result == 0) {
        walk.snapshotAt = 0;
        walk.snapshotAtKnown = true;
    }
    return result;
}

int32_t CBaseIterator::FindNext(CBaseRecord& cursor, int32_t /*flag*/) {
    if (&cursor.Table() != table_) return kTableBadArgument;
    TableRows& rows = table_->Rows();
    Walk& walk = *walk_;
    if (walk.current == nullptr || walk.generation != rows.Generation()) return kTableNotFound;
    TableRow* row = nullptr;
    RowIdKey key{};
    switch (walk.order) {
    case Order::kTable:
        row = rows.At(walk.current->Position() + 1);
        break;
    case Order::kRecordId:
        row = rows.NextInIdOrder(walk.currentKey, &key);
        break;
    case Order::kCategory:
    case Order::kStatus:
        if (walk.snapshotGeneration != rows.Generation()) return kTableNotFound;
        if (!walk.snapshotAtKnown) {
            // The current row came from FindByRecordId: find its place once.
            auto it = std::find(walk.snapshot.begin(), walk.snapshot.end(), walk.current);
            if (it == walk.snapshot.end()) return kTableNotFound;  // appended after the sort
            walk.snapshotAt = static_cast<std::size_t>(it - walk.snapshot.begin());
            walk.snapshotAtKnown = true;
        }
        if (walk.snapshotAt + 1 < walk.snapshot.size()) row = walk.snapshot[walk.snapshotAt + 1];
        break;
    }
    if (row != nullptr && walk.order != Order::kRecordId) key = TableRows::KeyOf(*row);
    const int32_t result = walk.Land(rows, row, key, cursor);
    if (result == 0) ++walk.snapshotAt;
    return result;
}

int32_t CBaseIterator::FindByRecordId(uint32_t id, CBaseRecord& cursor, int32_t /*flag*/) {
    if (&cursor.Table() != table_) return kTableBadArgument;
    TableRows& rows = table_->Rows();
    RowIdKey key{};
    TableRow* row = rows.FindById(id, &key);
    const int32_t result = walk_->Land(rows, row, key, cursor);
    if (result == 0) walk_->snapshotAtKnown = false;
    return result;
}

int32_t CBaseIterator::GetCurrentRowPosition(long& position) const {
    const Walk& walk = *walk_;
    if (walk.current == nullptr || walk.generation != table_->Rows().Generation()) return kTableNotFound;
    position = static_cast<long>(walk.current->Position());
    return 0;
}
