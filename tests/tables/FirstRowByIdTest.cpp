// The flat hash table that finds the first row of a record id: against a std::map, through growth,
// collisions and deletions in random order (deletion shifts entries back, so every probe run must
// stay unbroken).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

#include "TableRows.h"

namespace {

using synckit::FirstRowById;
using synckit::RowIdKey;
using synckit::TableRow;

TEST(FirstRowById, MatchesAMapThroughInsertsAndDeletesInRandomOrder) {
    std::mt19937 rng(7);
    std::vector<TableRow> rows(3000);  // stand-ins: only their addresses are kept
    FirstRowById index;
    std::map<uint32_t, RowIdKey> model;
    std::vector<uint32_t> ids;
    // Ids that share their low bits collide in a small table; spread ones do not.
    for (uint32_t i = 0; i < 1500; ++i) ids.push_back(i << 12);
    for (uint32_t i = 0; i < 1500; ++i) ids.push_back(std::uniform_int_distribution<uint32_t>()(rng));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::shuffle(ids.begin(), ids.end(), rng);

    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        for (uint32_t id : ids) {
            const FirstRowById::Slot* slot = index.Find(id);
            auto it = model.find(id);
            ASSERT_EQ(slot != nullptr, it != model.end()) << id;
            if (slot != nullptr) {
                EXPECT_EQ(slot->key, it->second);
                EXPECT_EQ(slot->row, &rows[it->second.second - 1]);
            }
        }
    };
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const RowIdKey key{ids[i], i + 1};
        index.Offer(key, &rows[i]);
        model[ids[i]] = key;
    }
    // A later row with an id already present does not displace the first.
    index.Offer(RowIdKey{ids[0], 999999}, &rows[2999]);
    check("after inserts");
    std::vector<uint32_t> order = ids;
    std::shuffle(order.begin(), order.end(), rng);
    for (std::size_t i = 0; i < order.size(); ++i) {
        index.Erase(order[i]);
        model.erase(order[i]);
        if (i % 300 == 0) check("while deleting");
    }
    check("after deletes");
    index.Erase(12345);  // absent: nothing happens
    EXPECT_EQ(index.Find(ids[0]), nullptr);
}

}  // namespace
