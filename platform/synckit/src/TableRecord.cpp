// Cursors on desktop table rows: field access, content comparison and copy.
#include "TableRows.h"
#include "synckit/Table.h"

using synckit::TableRow;

namespace {

bool ValidStatus(int32_t status) {
    switch (status) {
    case kStatusNone:
    case kStatusAdded:
    case kStatusModified:
    case kStatusDeleted:
    case kStatusPending:
        return true;
    default:
        return false;
    }
}

}  // namespace

CBaseRecord::CBaseRecord(CBaseTable& table, int16_t /*flag*/) : table_(&table) {}
CBaseRecord::~CBaseRecord() = default;

void CBaseRecord::Bind(TableRow* row) {
    if (row == nullptr || row->Owner() != &table_->Rows()) {
        row_ = nullptr;
        generation_ = 0;
        return;
    }
    row_ = row;
    generation_ = table_->Rows().Generation();
}

TableRow* CBaseRecord::Row() const {
    // A row pointer from an older generation may point at a freed row: check before touching it.
    return row_ != nullptr && generation_ == table_->Rows().Generation() ? row_ : nullptr;
}

bool CBaseRecord::IsBound() const { return Row() != nullptr; }

// Each accessor below: kTableNotBound (or 0 for a predicate) without a row.
#define SYNCKIT_ROW_OR(failure)          \
    TableRow* row = Row();               \
    if (row == nullptr) return (failure)

int32_t CBaseRecord::GetRecordId(uint32_t& id) const {
    SYNCKIT_ROW_OR(kTableNotBound);
    id = row->RecordId();
    return 0;
}

int32_t CBaseRecord::SetRecordId(uint32_t id) {
    SYNCKIT_ROW_OR(kTableNotBound);
    table_->Rows().SetRecordId(*row, id);  // keeps the id index in step
    return 0;
}

int32_t CBaseRecord::GetCategoryId(int32_t& category) const {
    SYNCKIT_ROW_OR(kTableNotBound);
    category = row->category;
    return 0;
}

int32_t CBaseRecord::SetCategoryId(int32_t category) {
    SYNCKIT_ROW_OR(kTableNotBound);
    row->category = category;
    return 0;
}

int32_t CBaseRecord::GetStatus(int32_t& status) const {
    SYNCKIT_ROW_OR(kTableNotBound);
    status = row->status;
    return 0;
}

int32_t CBaseRecord::SetStatus(int32_t status) {
    SYNCKIT_ROW_OR(kTableNotBound);
    if (!ValidStatus(status)) return kTableBadArgument;
    row->status = status;
    return 0;
}

int32_t CBaseRecord::IsNone() const {
    SYNCKIT_ROW_OR(0);
    return row->status == kStatusNone;
}
int32_t CBaseRecord::IsAdded() const {
    SYNCKIT_ROW_OR(0);
    return row->status == kStatusAdded;
}
int32_t CBaseRecord::IsModified() const {
    SYNCKIT_ROW_OR(0);
    return row->status == kStatusModified;
}
int32_t CBaseRecord::IsDeleted() const {
    SYNCKIT_ROW_OR(0);
    return row->status == kStatusDeleted;
}
int32_t CBaseRecord::IsPending() const {
    SYNCKIT_ROW_OR(0);
    return row->status == kStatusPending;
}

int32_t CBaseRecord::SetArchiveBit(int32_t on) {
    SYNCKIT_ROW_OR(kTableNotBound);
    row->archived = on != 0;
    return 0;
}

int32_t CBaseRecord::IsArchived() const {
    SYNCKIT_ROW_OR(0);
    return row->archived;
}

int32_t CBaseRecord::SetPlacementPos(int32_t position) {
    SYNCKIT_ROW_OR(kTableNotBound);
    row->placement = position;
    return 0;
}

int32_t CBaseRecord::GetPlacementPos(int32_t& position) const {
    SYNCKIT_ROW_OR(kTableNotBound);
    position = row->placement;
    return 0;
}

int32_t CBaseRecord::HasSameContent(CBaseRecord& other) {
    SYNCKIT_ROW_OR(0);
    const TableRow* theirs = other.Row();
    if (theirs == nullptr) return 0;
    return row->text == theirs->text && row->category == theirs->category &&
           row->isPrivate == theirs->isPrivate;
}

int32_t CBaseRecord::CopyContent(CBaseRecord& other) {
    SYNCKIT_ROW_OR(kTableNotBound);
    const TableRow* theirs = other.Row();
    if (theirs == nullptr) return kTableNotBound;
    if (theirs == row) return 0;
    row->text = theirs->text;
    row->category = theirs->category;
    row->isPrivate = theirs->isPrivate;
    row->status = theirs->status;
    row->archived = theirs->archived;
    return 0;
}

int32_t CMemoRecord::GetMemo(std::string& text) const {
    SYNCKIT_ROW_OR(kTableNotBound);
    text = row->text;
    return 0;
}

int32_t CMemoRecord::SetMemo(std::string_view text) {
    SYNCKIT_ROW_OR(kTableNotBound);
    row->text.assign(text.data(), text.size());
    return 0;
}

int32_t CMemoRecord::IsPrivate() const {
    SYNCKIT_ROW_OR(0);
    return row->isPrivate;
}

int32_t CMemoRecord::SetPrivate(int32_t on) {
    SYNCKIT_ROW_OR(kTableNotBound);
    row->isPrivate = on != 0;
    return 0;
}

#undef SYNCKIT_ROW_OR
