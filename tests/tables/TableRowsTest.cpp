// Desktop table rows in memory: cursors, copies, purges, the id index and the walks' orders.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TableTestSupport.h"
#include "TempPrefix.h"
#include "synckit/Table.h"

namespace {

using tervano::test::AddMemo;
using tervano::test::AllMemos;
using tervano::test::MemoFields;
using tervano::test::ReadMemo;

std::vector<std::string> TextsInWalk(CBaseTable& table, CBaseIterator& it) {
    std::vector<std::string> out;
    CMemoRecord rec(table, 0);
    for (int32_t rc = it.FindFirst(rec, 1); rc == 0; rc = it.FindNext(rec, 1)) {
        std::string text;
        rec.GetMemo(text);
        out.push_back(text);
    }
    return out;
}

TEST(TableRecord, CreateRecordAppendsBlankRowAndCursorSeesEveryField) {
    CMemoTable table;
    AddMemo(table, {7, kStatusModified, true, true, 3, 12, "first\r\nline"});
    CMemoRecord blank(table, 0);
    ASSERT_EQ(table.CreateRecord(blank), 0);
    EXPECT_EQ(ReadMemo(blank), MemoFields{});
    EXPECT_EQ(table.GetRecordCount(), 2);
    EXPECT_EQ(AllMemos(table), (std::vector<MemoFields>{{7, kStatusModified, true, true, 3, 12, "first\r\nline"}, {}}));
}

TEST(TableRecord, StatusPredicatesMatchExactlyOneStatusAndInvalidStatusIsRefused) {
    struct Case {
        int32_t status;
        int none, added, modified, deleted, pending;
    };
    const Case cases[] = {
        {kStatusNone, 1, 0, 0, 0, 0},     {kStatusAdded, 0, 1, 0, 0, 0},   {kStatusModified, 0, 0, 1, 0, 0},
        {kStatusDeleted, 0, 0, 0, 1, 0},  {kStatusPending, 0, 0, 0, 0, 1},
    };
    CMemoTable table;
    CMemoRecord rec(table, 0);
    ASSERT_EQ(table.CreateRecord(rec), 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        ASSERT_EQ(rec.SetStatus(c.status), 0);
        EXPECT_EQ(rec.IsNone() != 0, c.none != 0);
        EXPECT_EQ(rec.IsAdded() != 0, c.added != 0);
        EXPECT_EQ(rec.IsModified() != 0, c.modified != 0);
        EXPECT_EQ(rec.IsDeleted() != 0, c.deleted != 0);
        EXPECT_EQ(rec.IsPending() != 0, c.pending != 0);
    }
    for (int32_t bad : {3, 5, 16, -1}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(rec.SetStatus(bad), kTableBadArgument);
        int32_t status = -7;
        rec.GetStatus(status);
        EXPECT_EQ(status, kStatusPending);  // unchanged
    }
}

TEST(TableRecord, UnboundCursorAnswersNotBoundAndPredicatesFalse) {
    CMemoTable table;
    CMemoRecord rec(table, 0);
    uint32_t id = 99;
    int32_t value = 99;
    std::string text = "kept";
    EXPECT_FALSE(rec.IsBound());
    EXPECT_EQ(rec.GetRecordId(id), kTableNotBound);
    EXPECT_EQ(rec.SetRecordId(1), kTableNotBound);
    EXPECT_EQ(rec.GetStatus(value), kTableNotBound);
    EXPECT_EQ(rec.SetStatus(kStatusAdded), kTableNotBound);
    EXPECT_EQ(rec.GetCategoryId(value), kTableNotBound);
    EXPECT_EQ(rec.SetCategoryId(1), kTableNotBound);
    EXPECT_EQ(rec.SetArchiveBit(1), kTableNotBound);
    EXPECT_EQ(rec.SetPlacementPos(1), kTableNotBound);
    EXPECT_EQ(rec.GetPlacementPos(value), kTableNotBound);
    EXPECT_EQ(rec.GetMemo(text), kTableNotBound);
    EXPECT_EQ(rec.SetMemo("x"), kTableNotBound);
    EXPECT_EQ(rec.SetPrivate(1), kTableNotBound);
    EXPECT_EQ(rec.IsNone() | rec.IsAdded() | rec.IsModified() | rec.IsDeleted() | rec.IsPending() |
                  rec.IsArchived() | rec.IsPrivate(),
              0);
    EXPECT_EQ(id, 99u);
    EXPECT_EQ(text, "kept");
    CMemoRecord other(table, 0);
    ASSERT_EQ(table.CreateRecord(other), 0);
    EXPECT_EQ(rec.HasSameContent(other), 0);
    EXPECT_EQ(other.HasSameContent(rec), 0);
    EXPECT_EQ(other.CopyContent(rec), kTableNotBound);
    EXPECT_EQ(rec.CopyContent(other), kTableNotBound);
}

// Every purge and every load starts a new generation: cursors bound before it no longer reach a
// row, even one that survived, and the walk must start over.
TEST(TableRecord, PurgeAndLoadUnbindEveryCursor) {
    enum Step { kPurgeDeleted, kPurgeAll, kOpenMissingFile };
    tervano::test::TempPrefix prefix;
    for (Step step : {kPurgeDeleted, kPurgeAll, kOpenMissingFile}) {
        SCOPED_TRACE(step);
        CMemoTable table;
        AddMemo(table, {1, kStatusNone, false, false, 0, 0, "kept"});
        AddMemo(table, {2, kStatusDeleted, false, false, 0, 0, "gone"});
        CMemoRecord kept(table, 0), gone(table, 0);
        CMemoIterator it(table);
        ASSERT_EQ(it.FindByRecordId(1, kept, 0), 0);
        ASSERT_EQ(it.FindByRecordId(2, gone, 0), 0);
        switch (step) {
        case kPurgeDeleted: ASSERT_EQ(table.PurgeDeletedRecords(), 0); break;
        case kPurgeAll: ASSERT_EQ(table.PurgeAllRecords(), 0); break;
        case kOpenMissingFile: ASSERT_EQ(table.OpenFrom("C:\\Pilot\\missing.dat", 0), kTableNoSuchFile); break;
        }
        EXPECT_FALSE(kept.IsBound());
        EXPECT_FALSE(gone.IsBound());
        uint32_t id = 0;
        EXPECT_EQ(kept.GetRecordId(id), kTableNotBound);
        EXPECT_EQ(kept.IsNone(), 0);
        long position = -1;
        EXPECT_EQ(it.GetCurrentRowPosition(position), kTableNotFound);
        EXPECT_EQ(it.FindNext(kept, 0), kTableNotFound);
        EXPECT_EQ(table.GetRecordCount(), step == kPurgeDeleted ? 1 : 0);
    }
}

TEST(TableRecord, PurgeDeletedDropsOnlyDeletedRowsAndRenumbersPositions) {
    CMemoTable table;
    const int32_t statuses[] = {kStatusDeleted, kStatusNone, kStatusPending, kStatusDeleted, kStatusAdded, kStatusDeleted};
    for (uint32_t i = 0; i < std::size(statuses); ++i) AddMemo(table, {i + 1, statuses[i], false, false, 0, 0, std::to_string(i + 1)});
    ASSERT_EQ(table.PurgeDeletedRecords(), 0);
    std::vector<std::string> texts;
    for (const MemoFields& m : AllMemos(table)) texts.push_back(m.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"2", "3", "5"}));
    CMemoIterator it(table);
    CMemoRecord rec(table, 0);
    long position = -1;
    ASSERT_EQ(it.FindByRecordId(5, rec, 0), 0);
    ASSERT_EQ(it.GetCurrentRowPosition(position), 0);
    EXPECT_EQ(position, 2);
    EXPECT_EQ(it.FindByRecordId(4, rec, 0), kTableNotFound);
}

TEST(TableRecord, ContentComparesTextCategoryAndPrivateOnly) {
    const MemoFields base{5, kStatusNone, false, false, 2, 0, "text"};
    struct Case {
        const char* what;
        MemoFields other;
        bool same;
    };
    const Case cases[] = {
        {"identical", base, true},
        {"other id, status, archive, placement", {9, kStatusModified, true, false, 2, 4, "text"}, true},
        {"text differs", {5, kStatusNone, false, false, 2, 0, "Text"}, false},
        {"text longer", {5, kStatusNone, false, false, 2, 0, "text "}, false},
        {"category differs", {5, kStatusNone, false, false, 3, 0, "text"}, false},
        {"private differs", {5, kStatusNone, false, true, 2, 0, "text"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMemoTable a, b;  // the two rows may live in different tables
        AddMemo(a, base);
        AddMemo(b, c.other);
        CMemoRecord ra(a, 0), rb(b, 0);
        CMemoIterator ia(a), ib(b);
        ASSERT_EQ(ia.FindFirst(ra, 0), 0);
        ASSERT_EQ(ib.FindFirst(rb, 0), 0);
        EXPECT_EQ(ra.HasSameContent(rb) != 0, c.same);
        EXPECT_EQ(rb.HasSameContent(ra) != 0, c.same);
    }
}

TEST(TableRecord, CopyContentTakesContentStatusAndArchiveButKeepsIdAndPlacement) {
    CMemoTable table;
    AddMemo(table, {10, kStatusNone, false, false, 1, 3, "mine"});
    AddMemo(table, {20, kStatusModified, true, true, 7, 9, "theirs"});
    CMemoRecord mine(table, 0), theirs(table, 0);
    CMemoIterator it(table);
    ASSERT_EQ(it.FindByRecordId(10, mine, 0), 0);
    ASSERT_EQ(it.FindByRecordId(20, theirs, 0), 0);
    ASSERT_EQ(mine.CopyContent(theirs), 0);
    EXPECT_EQ(ReadMemo(mine), (MemoFields{10, kStatusModified, true, true, 7, 3, "theirs"}));
    EXPECT_NE(mine.HasSameContent(theirs), 0);
}

TEST(TableRecord, AddRecordCopyCopiesEveryFieldFromAnotherTableAndBindsCursor) {
    CMemoTable from, to;
    const MemoFields row{0x00ABCDEF, kStatusPending, true, true, 17, 42, std::string("a\0b\xFF", 4)};
    AddMemo(from, row);
    CMemoRecord source(from, 1), cursor(to, 1);
    CMemoIterator it(from);
    ASSERT_EQ(it.FindFirst(source, 0), 0);
    ASSERT_EQ(to.AddRecordCopy(source, cursor, 1), 0);
    EXPECT_EQ(ReadMemo(cursor), row);
    // The copy is a row of its own: changing it leaves the source alone.
    ASSERT_EQ(cursor.SetMemo("changed"), 0);
    EXPECT_EQ(ReadMemo(source), row);
    // And the target's id index knows it.
    CMemoIterator toIt(to);
    CMemoRecord found(to, 0);
    EXPECT_EQ(toIt.FindByRecordId(0x00ABCDEF, found, 0), 0);
}

TEST(TableRecord, AddRecordCopyAndCreateRecordRefuseCursorOfAnotherTableAndUnboundSource) {
    CMemoTable a, b;
    AddMemo(a, {1, 0, false, false, 0, 0, "x"});
    CMemoRecord inA(a, 0), inB(b, 0), unbound(a, 0);
    CMemoIterator it(a);
    ASSERT_EQ(it.FindFirst(inA, 0), 0);
    EXPECT_EQ(a.AddRecordCopy(inA, inB, 1), kTableBadArgument);
    EXPECT_EQ(b.AddRecordCopy(unbound, inB, 1), kTableNotBound);
    EXPECT_EQ(b.CreateRecord(inA), kTableBadArgument);
    EXPECT_EQ(a.GetRecordCount(), 1);
    EXPECT_EQ(b.GetRecordCount(), 0);
    // A copy into the row's own table is fine: the source row stays where it is.
    CMemoRecord copy(a, 0);
    ASSERT_EQ(a.AddRecordCopy(inA, copy, 1), 0);
    EXPECT_EQ(ReadMemo(inA), ReadMemo(copy));
    EXPECT_EQ(a.GetRecordCount(), 2);
}

TEST(TableRecord, ClearPlacementFieldZeroesEveryRow) {
    CMemoTable table;
    for (int32_t p : {5, -3, 100}) AddMemo(table, {0, 0, false, false, 0, p, ""});
    ASSERT_EQ(table.ClearPlacementField(), 0);
    for (const MemoFields& m : AllMemos(table)) EXPECT_EQ(m.placement, 0);
}

// Status order: archived, deleted or pending rows first, then added or modified ones, then
// unchanged ones, each group in table order; the order stays while the walk changes statuses.
TEST(TableIterator, SortByRecordStatusGroupsAndKeepsOrderWhileRowsChange) {
    CMemoTable table;
    const MemoFields rows[] = {
        {1, kStatusNone, false, false, 0, 0, "none-1"},
        {2, kStatusAdded, false, false, 0, 0, "added-2"},
        {3, kStatusDeleted, false, false, 0, 0, "deleted-3"},
        {4, kStatusNone, true, false, 0, 0, "archived-none-4"},
        {5, kStatusModified, false, false, 0, 0, "modified-5"},
        {6, kStatusPending, false, false, 0, 0, "pending-6"},
        {7, kStatusNone, false, false, 0, 0, "none-7"},
        {8, kStatusAdded, true, false, 0, 0, "archived-added-8"},
    };
    for (const MemoFields& m : rows) AddMemo(table, m);
    CMemoIterator it(table);
    ASSERT_EQ(it.SortByRecordStatus(), 0);
    std::vector<std::string> seen;
    CMemoRecord rec(table, 0);
    for (int32_t rc = it.FindFirst(rec, 0); rc == 0; rc = it.FindNext(rec, 0)) {
        std::string text;
        rec.GetMemo(text);
        seen.push_back(text);
        // What the desktop half does: every row it passes ends deleted or none.
        rec.SetArchiveBit(0);
        rec.SetStatus(rec.IsAdded() ? kStatusNone : kStatusDeleted);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"deleted-3", "archived-none-4", "pending-6", "archived-added-8",
                                              "added-2", "modified-5", "none-1", "none-7"}));
}

TEST(TableIterator, SortByCatIdIsStableAndKeepsSnapshotWhileCategoriesChange) {
    CMemoTable table;
    const std::pair<int32_t, const char*> rows[] = {{5, "a5"}, {2, "b2"}, {17, "c17"}, {5, "d5"}, {0, "e0"}, {2, "f2"}};
    for (const auto& [category, text] : rows) AddMemo(table, {0, 0, false, false, category, 0, text});
    CMemoIterator it(table);
    ASSERT_EQ(it.SortByCatId(), 0);
    std::vector<std::string> seen;
    CMemoRecord rec(table, 1);
    for (int32_t rc = it.FindFirst(rec, 0); rc == 0; rc = it.FindNext(rec, 0)) {
        std::string text;
        rec.GetMemo(text);
        seen.push_back(text);
        rec.SetCategoryId(0);  // as the archiver does while it walks
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"e0", "b2", "f2", "a5", "d5", "c17"}));
}

TEST(TableIterator, WalkWithoutSortIsTableOrderAndSeesRowsAppendedDuringWalk) {
    CMemoTable table;
    for (const char* t : {"3", "1", "2"}) AddMemo(table, {static_cast<uint32_t>(std::stoi(t)), 0, false, false, 0, 0, t});
    CMemoIterator it(table);
    std::vector<std::string> seen;
    CMemoRecord rec(table, 0);
    bool appended = false;
    for (int32_t rc = it.FindFirst(rec, 1); rc == 0; rc = it.FindNext(rec, 1)) {
        std::string text;
        rec.GetMemo(text);
        seen.push_back(text);
        if (!appended) {
            AddMemo(table, {9, 0, false, false, 0, 0, "9"});
            appended = true;
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"3", "1", "2", "9"}));
    CMemoTable empty;
    CMemoIterator emptyIt(empty);
    CMemoRecord none(empty, 0);
    EXPECT_EQ(emptyIt.FindFirst(none, 0), kTableNotFound);
    EXPECT_EQ(emptyIt.FindNext(none, 0), kTableNotFound);
}

TEST(TableIterator, SortByRecordIdWalksIdOrderWithTiesInTableOrder) {
    CMemoTable table;
    const std::pair<uint32_t, const char*> rows[] = {{30, "a"}, {0, "b"}, {0xFFFFFFFF, "c"}, {10, "d"}, {0, "e"}, {10, "f"}};
    for (const auto& [id, text] : rows) AddMemo(table, {id, 0, false, false, 0, 0, text});
    CMemoIterator it(table);
    ASSERT_EQ(it.SortByRecordId(), 0);
    EXPECT_EQ(TextsInWalk(table, it), (std::vector<std::string>{"b", "e", "d", "f", "a", "c"}));
    CMemoRecord rec(table, 0);
    ASSERT_EQ(it.FindByRecordId(10, rec, 0), 0);
    std::string text;
    rec.GetMemo(text);
    EXPECT_EQ(text, "d");  // the first of the two in table order
    ASSERT_EQ(it.FindNext(rec, 0), 0);  // the walk goes on from the row found
    rec.GetMemo(text);
    EXPECT_EQ(text, "f");
}

TEST(TableIterator, FindByRecordIdMissLeavesCursorAsItWas) {
    CMemoTable table;
    AddMemo(table, {4, 0, false, false, 0, 0, "four"});
    CMemoIterator it(table);
    CMemoRecord rec(table, 0);
    ASSERT_EQ(it.FindByRecordId(4, rec, 0), 0);
    EXPECT_EQ(it.FindByRecordId(5, rec, 0), kTableNotFound);
    std::string text;
    EXPECT_EQ(rec.GetMemo(text), 0);
    EXPECT_EQ(text, "four");
    CMemoTable other;
    CMemoRecord foreign(other, 0);
    EXPECT_EQ(it.FindByRecordId(4, foreign, 0), kTableBadArgument);
    EXPECT_EQ(it.FindFirst(foreign, 0), kTableBadArgument);
}

// The id index against a plain model: rows added, copied, re-numbered (as a sync sets an id to 0 or
// to the one the handheld assigned) and purged in a random order. Every lookup must give the first
// row with the id in table order, and GetCurrentRowPosition its place.
TEST(TableIterator, IdLookupsFollowAddsIdChangesAndPurgesLikeAModel) {
    struct ModelRow {
        uint32_t id;
        int32_t status;
        std::string text;
    };
    std::mt19937 rng(20240611);
    CMemoTable table;
    std::vector<ModelRow> model;
    int serial = 0;
    auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    auto rowAt = [&](std::size_t position, CMemoRecord& rec) {
        CMemoIterator walk(table);
        ASSERT_EQ(walk.FindFirst(rec, 0), 0);
        for (std::size_t i = 0; i < position; ++i) ASSERT_EQ(walk.FindNext(rec, 0), 0);
    };
    for (int step = 0; step < 600; ++step) {
        const int op = static_cast<int>(pick(10));
        if (op < 4 || model.empty()) {  // add
            const uint32_t id = static_cast<uint32_t>(pick(40));
            const std::string text = "r" + std::to_string(serial++);
            AddMemo(table, {id, kStatusNone, false, false, 0, 0, text});
            model.push_back({id, kStatusNone, text});
        } else if (op < 7) {  // change an id
            const std::size_t at = pick(model.size());
            const uint32_t id = static_cast<uint32_t>(pick(40));
            CMemoRecord rec(table, 0);
            rowAt(at, rec);
            ASSERT_EQ(rec.SetRecordId(id), 0);
            model[at].id = id;
        } else if (op < 8) {  // mark deleted
            const std::size_t at = pick(model.size());
            CMemoRecord rec(table, 0);
            rowAt(at, rec);
            ASSERT_EQ(rec.SetStatus(kStatusDeleted), 0);
            model[at].status = kStatusDeleted;
        } else if (op < 9) {  // copy a row within the table
            const std::size_t at = pick(model.size());
            CMemoRecord source(table, 0), copy(table, 0);
            rowAt(at, source);
            ASSERT_EQ(table.AddRecordCopy(source, copy, 1), 0);
            model.push_back(model[at]);
        } else {
            ASSERT_EQ(table.PurgeDeletedRecords(), 0);
            std::erase_if(model, [](const ModelRow& r) { return r.status == kStatusDeleted; });
        }
        ASSERT_EQ(table.GetRecordCount(), static_cast<int32_t>(model.size()));
        CMemoIterator it(table);
        ASSERT_EQ(it.SortByRecordId(), 0);
        for (uint32_t id = 0; id < 40; ++id) {
            SCOPED_TRACE("step " + std::to_string(step) + " id " + std::to_string(id));
            auto first = std::find_if(model.begin(), model.end(), [id](const ModelRow& r) { return r.id == id; });
            CMemoRecord rec(table, 0);
            const int32_t rc = it.FindByRecordId(id, rec, 0);
            if (first == model.end()) {
                ASSERT_EQ(rc, kTableNotFound);
                continue;
            }
            ASSERT_EQ(rc, 0);
            std::string text;
            rec.GetMemo(text);
            ASSERT_EQ(text, first->text);
            long position = -1;
            ASSERT_EQ(it.GetCurrentRowPosition(position), 0);
            ASSERT_EQ(position, first - model.begin());
        }
        if (step % 50 == 0) {  // the id walk, in full, against the model sorted stably by id
            std::vector<ModelRow> sorted = model;
            std::stable_sort(sorted.begin(), sorted.end(), [](const ModelRow& a, const ModelRow& b) { return a.id < b.id; });
            std::vector<std::string> expected;
            for (const ModelRow& r : sorted) expected.push_back(r.text);
            ASSERT_EQ(TextsInWalk(table, it), expected);
        }
    }
}

TEST(TableIterator, SnapshotWalkResortsOnFindFirstAfterRowsWereAdded) {
    CMemoTable table;
    AddMemo(table, {0, kStatusNone, false, false, 0, 0, "none"});
    CMemoIterator it(table);
    ASSERT_EQ(it.SortByRecordStatus(), 0);
    AddMemo(table, {0, kStatusDeleted, false, false, 0, 0, "deleted"});
    EXPECT_EQ(TextsInWalk(table, it), (std::vector<std::string>{"deleted", "none"}));
}

TEST(TableIterator, GetCurrentRowPositionFollowsEveryWalk) {
    CMemoTable table;
    for (uint32_t id : {3u, 1u, 2u}) AddMemo(table, {id, id == 1 ? kStatusDeleted : kStatusNone, false, false, static_cast<int32_t>(id), 0, ""});
    CMemoIterator it(table);
    long position = -1;
    EXPECT_EQ(it.GetCurrentRowPosition(position), kTableNotFound);
    CMemoRecord rec(table, 0);
    struct Case {
        const char* what;
        int32_t (CBaseIterator::*sort)();
        std::vector<long> positions;
    };
    const Case cases[] = {
        {"table order", nullptr, {0, 1, 2}},
        {"id order", &CBaseIterator::SortByRecordId, {1, 2, 0}},
        {"category order", &CBaseIterator::SortByCatId, {1, 2, 0}},
        {"status order", &CBaseIterator::SortByRecordStatus, {1, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CMemoIterator walk(table);
        if (c.sort != nullptr) {
            ASSERT_EQ((walk.*c.sort)(), 0);
        }
        std::vector<long> seen;
        for (int32_t rc = walk.FindFirst(rec, 0); rc == 0; rc = walk.FindNext(rec, 0)) {
            ASSERT_EQ(walk.GetCurrentRowPosition(position), 0);
            seen.push_back(position);
        }
        EXPECT_EQ(seen, c.positions);
    }
}

}  // namespace
