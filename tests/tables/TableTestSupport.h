// Small builders for desktop table tests: a row's fields as one value, appended to or read back
// from a table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "synckit/Table.h"

namespace tervano::test {

struct MemoFields {
    uint32_t id = 0;
    int32_t status = kStatusNone;
    bool archived = false;
    bool isPrivate = false;
    int32_t category = 0;
    int32_t placement = 0;
    std::string text;

    bool operator==(const MemoFields&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const MemoFields& m) {
    return os << "{id " << m.id << ", status " << m.status << ", archived " << m.archived << ", private "
              << m.isPrivate << ", category " << m.category << ", placement " << m.placement << ", text \""
              << m.text << "\"}";
}

// Appends a row with these fields; the cursor is left on it.
inline void AddMemo(CBaseTable& table, const MemoFields& m) {
    CMemoRecord rec(table, 0);
    ASSERT_EQ(table.CreateRecord(rec), 0);
    ASSERT_EQ(rec.SetRecordId(m.id), 0);
    ASSERT_EQ(rec.SetStatus(m.status), 0);
    ASSERT_EQ(rec.SetArchiveBit(m.archived), 0);
    ASSERT_EQ(rec.SetPrivate(m.isPrivate), 0);
    ASSERT_EQ(rec.SetCategoryId(m.category), 0);
    ASSERT_EQ(rec.SetPlacementPos(m.placement), 0);
    ASSERT_EQ(rec.SetMemo(m.text), 0);
}

inline MemoFields ReadMemo(const CMemoRecord& rec) {
    MemoFields m;
    EXPECT_EQ(rec.GetRecordId(m.id), 0);
    EXPECT_EQ(rec.GetStatus(m.status), 0);
    m.archived = rec.IsArchived() != 0;
    m.isPrivate = rec.IsPrivate() != 0;
    EXPECT_EQ(rec.GetCategoryId(m.category), 0);
    EXPECT_EQ(rec.GetPlacementPos(m.placement), 0);
    EXPECT_EQ(rec.GetMemo(m.text), 0);
    return m;
}

// Every row in the table's own order.
inline std::vector<MemoFields> AllMemos(CBaseTable& table) {
    std::vector<MemoFields> out;
    CBaseIterator it(table);
    CMemoRecord rec(table, 0);
    for (int32_t rc = it.FindFirst(rec, 0); rc == 0; rc = it.FindNext(rec, 0)) out.push_back(ReadMemo(rec));
    return out;
}

}  // namespace tervano::test
