// The rows of an open desktop table and their id indexes.
#include "TableRows.h"

#include <algorithm>

namespace synckit {

void TableRow::CopyFieldsFrom(const TableRow& other) {
    status = other.status;
    archived = other.archived;
    isPrivate = other.isPrivate;
    category = other.category;
    placement = other.placement;
    text = other.text;
}

// --- FirstRowById: linear probing, at most half full, deletion by shifting back (no tombstones).

std::size_t FirstRowById::Probe(uint32_t id) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = Home(id);
    while (slots_[at].key.second != 0 && slots_[at].key.first != id) at = (at + 1) & mask;
    return at;
}

const FirstRowById::Slot* FirstRowById::Find(uint32_t id) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[Probe(id)];
    return slot.key.second != 0 ? &slot : nullptr;
}

void FirstRowById::Offer(const RowIdKey& key, TableRow* row) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    Slot& slot = slots_[Probe(key.first)];
    if (slot.key.second == 0) {
        slot = {key, row};
        ++used_;
    } else if (key.second < slot.key.second) {
        slot = {key, row};
    }
}

void FirstRowById::Replace(const RowIdKey& key, TableRow* row) {
    Slot& slot = slots_[Probe(key.first)];
    slot = {key, row};
}

void FirstRowById::Erase(uint32_t id) {
    if (slots_.empty()) return;
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = Probe(id);
    if (slots_[hole].key.second == 0) return;
    --used_;
    // Move later entries of the probe run back into the hole when their home allows it.
    for (std::size_t at = (hole + 1) & mask; slots_[at].key.second != 0; at = (at + 1) & mask) {
        const std::size_t home = Home(slots_[at].key.first);
        const bool between = hole <= at ? (home > hole && home <= at) : (home > hole || home <= at);
        if (!between) {
            slots_[hole] = slots_[at];
            hole = at;
        }
    }
    slots_[hole] = Slot{};
}

void FirstRowById::Clear() {
    slots_.clear();
    used_ = 0;
    shift_ = 32;
}

void FirstRowById::Grow() {
    std::vector<Slot> old = std::move(slots_);
    const std::size_t capacity = std::max<std::size_t>(16, old.size() * 2);
    slots_.assign(capacity, Slot{});
    shift_ = 32;
    for (std::size_t c = capacity; c > 1; c >>= 1) --shift_;
    used_ = 0;
    for (const Slot& slot : old) {
        if (slot.key.second != 0) {
            slots_[Probe(slot.key.first)] = slot;
            ++used_;
        }
    }
}

// --- TableRows

void TableRows::IndexRow(TableRow* row) {
    const RowIdKey key = KeyOf(*row);
    byId_.emplace(key, row);
    firstById_.Offer(key, row);
}

void TableRows::UnindexRow(TableRow& row) {
    const RowIdKey key = KeyOf(row);
    byId_.erase(key);
    const FirstRowById::Slot* first = firstById_.Find(key.first);
    if (first != nullptr && first->row == &row) {
        // The next row with that id, if any, becomes the first.
        auto next = byId_.lower_bound(RowIdKey{key.first, 0});
        if (next != byId_.end() && next->first.first == key.first) {
            firstById_.Replace(next->first, next->second);
        } else {
            firstById_.Erase(key.first);
        }
    }
}

TableRow* TableRows::Append(const TableRow& fields, uint32_t recordId) {
    auto row = std::make_unique<TableRow>();
    row->CopyFieldsFrom(fields);
    row->recordId_ = recordId;
    row->owner_ = this;
    row->position_ = rows_.size();
    row->serial_ = nextSerial_++;
    TableRow* raw = row.get();
    rows_.push_back(std::move(row));
    IndexRow(raw);
    return raw;
}

void TableRows::SetRecordId(TableRow& row, uint32_t recordId) {
    if (row.recordId_ == recordId) return;
    UnindexRow(row);
    row.recordId_ = recordId;
    IndexRow(&row);
}

TableRow* TableRows::FindById(uint32_t recordId, RowIdKey* key) const {
    const FirstRowById::Slot* slot = firstById_.Find(recordId);
    if (slot == nullptr) return nullptr;
    if (key != nullptr) *key = slot->key;
    return slot->row;
}

TableRow* TableRows::NextInIdOrder(const RowIdKey& after, RowIdKey* key) {
    auto it = byId_.upper_bound(after);
    if (it == byId_.end()) return nullptr;
    if (key != nullptr) *key = it->first;
    return it->second;
}

std::size_t TableRows::RemoveWithStatus(int32_t status) {
    const std::size_t before = rows_.size();
    std::erase_if(rows_, [status](const std::unique_ptr<TableRow>& row) { return row->status == status; });
    Reindex();
    ++generation_;
    return before - rows_.size();
}

void TableRows::RemoveAll() {
    rows_.clear();
    byId_.clear();
    firstById_.Clear();
    ++generation_;
}

void TableRows::ReplaceWith(TableRows& loaded) {
    rows_ = std::move(loaded.rows_);
    loaded.rows_.clear();
    loaded.byId_.clear();
    loaded.firstById_.Clear();
    for (auto& row : rows_) {
        row->owner_ = this;
        row->serial_ = nextSerial_++;
    }
    Reindex();
    ++generation_;
}

void TableRows::Reindex() {
    byId_.clear();
    firstById_.Clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        TableRow* row = rows_[i].get();
        row->position_ = i;
        IndexRow(row);  // in table order, so the first row of each id is offered first
    }
}

}  // namespace synckit
