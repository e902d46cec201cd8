// Desktop tables: the rows and categories of one table file, loaded, changed and saved.
#include "synckit/Table.h"

#include <filesystem>

#include "TableRows.h"
#include "TableStore.h"
#include "win/Paths.h"

using synckit::TableRow;
using synckit::TableRows;

namespace {

// The host path of a table's Windows path; empty for a null or empty path.
std::filesystem::path HostPathOf(const char* path) {
    if (path == nullptr || *path == '\0') return {};
    return win::HostPath(path);
}

}  // namespace

CBaseTable::CBaseTable() : rows_(std::make_unique<TableRows>()) {}
CBaseTable::~CBaseTable() = default;

CMemoTable::CMemoTable() = default;
CMemoTable::~CMemoTable() = default;

int32_t CBaseTable::OpenFrom(const char* path, int32_t /*flag*/) {
    const std::filesystem::path host = HostPathOf(path);
    if (host.empty()) return kTableBadArgument;
    // Load into fresh objects, so that a refused file leaves this table as it was.
    TableRows loadedRows;
    CCategoryMgr loadedCategories;
    const int32_t result = synckit::LoadTableFile(host, loadedRows, loadedCategories);
    if (result != 0 && result != kTableNoSuchFile) return result;
    rows_->ReplaceWith(loadedRows);  // empty for a missing file
    categories_.Swap(loadedCategories);
    return result;
}

int32_t CBaseTable::SaveTo(const char* path) {
    const std::filesystem::path host = HostPathOf(path);
    if (host.empty()) return kTableBadArgument;
    return synckit::SaveTableFile(host, *rows_, categories_);
}

int32_t CBaseTable::GetRecordCount() const { return static_cast<int32_t>(rows_->Count()); }

int32_t CBaseTable::PurgeDeletedRecords() {
    rows_->RemoveWithStatus(kStatusDeleted);
    return 0;
}

int32_t CBaseTable::PurgeAllRecords() {
    rows_->RemoveAll();
    return 0;
}

int32_t CBaseTable::ClearPlacementField() {
    for (std::size_t i = 0; i < rows_->Count(); ++i) rows_->At(i)->placement = 0;
    return 0;
}

int32_t CBaseTable::CreateRecord(CBaseRecord& cursor) {
    if (&cursor.Table() != this) return kTableBadArgument;
    cursor.Bind(rows_->Append(TableRow{}, 0));
    return 0;
}

int32_t CBaseTable::AddRecordCopy(CBaseRecord& source, CBaseRecord& cursor, int32_t /*flag*/) {
    if (&cursor.Table() != this) return kTableBadArgument;
    const TableRow* from = source.Row();
    if (from == nullptr) return kTableNotBound;
    // Append copies the fields before the vector of rows grows, and rows never move in memory,
    // so a source row in this same table is safe.
    cursor.Bind(rows_->Append(*from, from->RecordId()));
    return 0;
}
