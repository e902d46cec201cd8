// Category reconciliation over a real memo session: the handheld's categories read from its
// application-info block, settled against the desktop table's, records re-filed on both sides, the
// agreed list written back to the handheld and kept in the desktop list, and the log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AppInfoBuilder.h"
#include "MemoSessionSupport.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"
#include "Unpacked.h"

namespace {

using tervano::test::BuildAppInfo;
using tervano::test::CategoriesOf;
using tervano::test::CategoryFields;
using tervano::test::OpenMemoMonitor;
using tervano::test::ParseAppInfo;
using Cats = std::vector<CategoryFields>;
using Entries = std::vector<synckit::LogEntry>;

// The log lines of the reconciliation's three messages, as the user reads them.
Entries DeletedLines(const std::string& side, const std::string& name) {
    return {{"   - " + side + " category '" + name + "' has been deleted and all of", 4, 0},
            {"     the records in this category have been moved to 'Unfiled'.", -1, 0}};
}
Entries TooManyLines(const std::string& name) {
    return {{"   - Only 15 categories are allowed.  All records in category '" + name + "'", 3, 0},
            {"     were changed to 'Unfiled'.", -1, 0}};
}
Entries MoveFailedLines(const std::string& name) {
    return {{"   - Could not move the Pilot records in category '" + name + "' to 'Unfiled'.", 7, 0},
            {"     Please check your connections and try again.", -1, 0}};
}
Entries Join(std::initializer_list<Entries> parts) {
    Entries out;
    for (const Entries& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

const CategoryFields kUnfiled{0, 0, "Unfiled"};

class ReconcileFixture : public session_test::SessionFixture {
protected:
    // Puts the categories on the handheld and the records (by category) into "MemoDB", makes the
    // session, opens both sides and gives the desktop table its categories and rows (by category).
    void Prepare(int32_t syncType, int32_t firstSync, const Cats& handheldCats, const Cats& desktopCats,
               const std::vector<int>& handheldRecords, const std::vector<int>& desktopRows) {
        synckit::HandheldDatabase* db = handheld.FindDatabase("MemoDB");
        db->appInfo = BuildAppInfo(handheldCats);
        for (size_t i = 0; i < handheldRecords.size(); ++i) {
            handheld.AddRecord(*db, "hh " + std::to_string(i) + std::string(1, '\0'), 0,
                               static_cast<uint8_t>(handheldRecords[i]));
        }
        HotSyncProperties p = session_test::MemoProperties(syncType);
        p.firstSyncIndicator = firstSync;
        session = std::make_unique<OpenMemoMonitor>(p);
        session->Open();
        tervano::test::AddCategories(*session->desktopTable_->GetCategoryManager(), desktopCats);
        for (size_t i = 0; i < desktopRows.size(); ++i) {
            CMemoRecord row(*session->desktopTable_, 0);
            ASSERT_EQ(session->desktopTable_->CreateRecord(row), 0);
            row.SetCategoryId(desktopRows[i]);
            row.SetMemo("row " + std::to_string(i));
        }
        handheld.ClearCalls();
    }

    Cats HandheldBlock() { return ParseAppInfo(*handheld.FindDatabase("MemoDB")->appInfo); }
    Cats DesktopList() { return CategoriesOf(*session->desktopTable_->GetCategoryManager()); }
    // One field of every desktop row, in the table's order.
    std::vector<int> DesktopRowValues(int32_t (CBaseRecord::*get)(int32_t&) const) {
        std::vector<int> out;
        CBaseIterator walk(*session->desktopTable_);
        CBaseRecord row(*session->desktopTable_, 0);
        for (int32_t more = walk.FindFirst(row, 0); more == 0; more = walk.FindNext(row, 0)) {
            int32_t value = -1;
            (row.*get)(value);
            out.push_back(value);
        }
        return out;
    }
    std::vector<int> DesktopRowCategories() { return DesktopRowValues(&CBaseRecord::GetCategoryId); }
    std::vector<int> HandheldRecordCategories() {
        std::vector<int> out;
        for (const auto& rec : handheld.FindDatabase("MemoDB")->records) out.push_back(rec.category);
        return out;
    }
    // The entries after the conduit's heading (checked to be there, once, when anything was logged).
    Entries Messages() {
        Entries entries = log.Entries();
        if (entries.empty()) return entries;
        EXPECT_EQ(entries.front(), (synckit::LogEntry{"-- Memo Pad", -1, 0}));
        entries.erase(entries.begin());
        return entries;
    }

    std::unique_ptr<OpenMemoMonitor> session;
};

// ---- Two-way syncs: the whole reconciliation ----

struct ReconcileCase {
    const char* name;
    int32_t syncType = 0;
    int32_t firstSync = 0;
    Cats handheld = {}, desktop = {};
    std::vector<int> handheldRecords = {}, desktopRows = {};  // category of each record / row
    Cats agreed = {};  // both lists afterwards, every name-dirty flag clear
    std::vector<int> handheldRecordsAfter = {}, desktopRowsAfter = {};
    Entries messages = {};
};

void PrintTo(const ReconcileCase& c, std::ostream* os) { *os << c.name; }

class ReconcileTest : public ReconcileFixture, public ::testing::WithParamInterface<ReconcileCase> {};

TEST_P(ReconcileTest, BothSidesAgreeAndRecordsFollowTheirCategories) {
    const ReconcileCase& c = GetParam();
    Prepare(c.syncType, c.firstSync, c.handheld, c.desktop, c.handheldRecords, c.desktopRows);
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(HandheldBlock(), c.agreed);
    EXPECT_EQ(DesktopList(), c.agreed);
    EXPECT_EQ(HandheldRecordCategories(), c.handheldRecordsAfter);
    EXPECT_EQ(DesktopRowCategories(), c.desktopRowsAfter);
    EXPECT_EQ(Messages(), c.messages);
    EXPECT_EQ(handheld.CountCalls(synckit::SyncOp::WriteAppInfo), 1u);
    // The application's own bytes after the category table travel back untouched.
    const std::string& block = *handheld.FindDatabase("MemoDB")->appInfo;
    ASSERT_EQ(block.size(), 276u);
    EXPECT_EQ(block.substr(274), "\x5A\x5A");
}

// All 16 handheld indices taken (names "c1" ... "c15" besides Unfiled); every one name-dirty through
// the slow sync, so none of them is taken for deleted on the desktop.
Cats FullHandheld() {
    Cats out{kUnfiled};
    for (int i = 1; i < 16; ++i) out.push_back({i, 100 + i, "c" + std::to_string(i)});
    return out;
}
Cats FullDesktopWithNewAt5() {
    Cats out = FullHandheld();
    out[5] = {5, 77, "Extra", true};  // new on the desktop where the handheld has "c5"
    return out;
}

const ReconcileCase kReconcileCases[] = {
    {.name = "RenamedOnDesktopOnly",
     .handheld = {kUnfiled, {1, 11, "Work"}},
     .desktop = {kUnfiled, {1, 11, "Job", true}},
     .handheldRecords = {1, 0}, .desktopRows = {1, 0},
     .agreed = {kUnfiled, {1, 11, "Job"}},
     .handheldRecordsAfter = {1, 0}, .desktopRowsAfter = {1, 0}},
    {.name = "RenamedOnHandheldOnly",
     .handheld = {kUnfiled, {1, 11, "Job", true}},
     .desktop = {kUnfiled, {1, 11, "Work"}},
     .handheldRecords = {1}, .desktopRows = {1},
     .agreed = {kUnfiled, {1, 11, "Job"}},
     .handheldRecordsAfter = {1}, .desktopRowsAfter = {1}},
    {.name = "RenamedOnBothSidesDesktopWins",
     .handheld = {kUnfiled, {1, 11, "Handheld name", true}},
     .desktop = {kUnfiled, {1, 11, "Desktop name", true}},
     .handheldRecords = {1}, .desktopRows = {1},
     .agreed = {kUnfiled, {1, 11, "Desktop name"}},
     .handheldRecordsAfter = {1}, .desktopRowsAfter = {1}},
    {.name = "DeletedOnDesktop",
     .handheld = {kUnfiled, {2, 12, "Business"}, {3, 13, "Personal"}},
     .desktop = {kUnfiled, {3, 13, "Personal"}},
     .handheldRecords = {2, 3, 2, 0}, .desktopRows = {3},
     .agreed = {kUnfiled, {3, 13, "Personal"}},
     .handheldRecordsAfter = {0, 3, 0, 0}, .desktopRowsAfter = {3},
     .messages = DeletedLines("Pilot", "Business")},
    {.name = "DeletedOnHandheld",
     .handheld = {kUnfiled},
     .desktop = {kUnfiled, {3, 13, "Travel"}},
     .handheldRecords = {0}, .desktopRows = {3, 0, 3},
     .agreed = {kUnfiled},
     .handheldRecordsAfter = {0}, .desktopRowsAfter = {0, 0, 0},
     .messages = DeletedLines("Desktop", "Travel")},
    {.name = "NewOnDesktopAtFreeIndexKeepsIt",
     .handheld = {kUnfiled},
     .desktop = {kUnfiled, {4, 40, "Garden", true}},
     .desktopRows = {4},
     .agreed = {kUnfiled, {4, 40, "Garden"}},
     .desktopRowsAfter = {4}},
    {.name = "NewOnDesktopAtTakenIndexMovesToAFreeOneWithItsRows",
     .handheld = {kUnfiled, {4, 14, "Home", true}},  // new on the handheld at the same index
     .desktop = {kUnfiled, {4, 40, "Garden", true}},
     .handheldRecords = {4}, .desktopRows = {4, 0},
     .agreed = {kUnfiled, {1, 40, "Garden"}, {4, 14, "Home"}},
     .handheldRecordsAfter = {4}, .desktopRowsAfter = {1, 0}},
    {.name = "NewOnDesktopWithEveryIndexTakenGoesToUnfiled",
     .syncType = 1,
     .handheld = FullHandheld(),
     .desktop = FullDesktopWithNewAt5(),
     .desktopRows = {5, 6},
     .agreed = FullHandheld(),
     .desktopRowsAfter = {0, 6},
     .messages = TooManyLines("Extra")},
    {.name = "SwappedIndicesDoNotChain",
     .handheld = {kUnfiled, {3, 30, "Alpha"}, {5, 50, "Beta"}},
     .desktop = {kUnfiled, {3, 50, "Beta"}, {5, 30, "Alpha"}},
     .desktopRows = {3, 5, 3, 0},  // Beta, Alpha, Beta, Unfiled on the desktop
     .agreed = {kUnfiled, {3, 30, "Alpha"}, {5, 50, "Beta"}},
     .desktopRowsAfter = {5, 3, 5, 0}},
    {.name = "IndexMovedOnHandheldSameIdDesktopRowsFollow",
     .handheld = {kUnfiled, {6, 11, "Work"}},
     .desktop = {kUnfiled, {2, 11, "Work"}},
     .desktopRows = {2},
     .agreed = {kUnfiled, {6, 11, "Work"}},
     .desktopRowsAfter = {6}},
    {.name = "SlowSyncWithOrdinaryIndicatorDeletesNoHandheldCategory",
     .syncType = 1,
     .handheld = {kUnfiled, {2, 12, "Business"}},
     .desktop = {kUnfiled},
     .handheldRecords = {2}, .desktopRows = {0},
     .agreed = {kUnfiled, {2, 12, "Business"}},
     .handheldRecordsAfter = {2}, .desktopRowsAfter = {0}},
    {.name = "NewHandheldIndicatorKeepsEveryDesktopCategory",
     .firstSync = 2,
     .handheld = {kUnfiled, {1, 11, "Work"}},
     .desktop = {kUnfiled, {1, 11, "Job"}, {6, 60, "Garden"}},
     .handheldRecords = {1}, .desktopRows = {6, 1},
     .agreed = {kUnfiled, {1, 11, "Job"}, {6, 60, "Garden"}},
     .handheldRecordsAfter = {1}, .desktopRowsAfter = {6, 1}},
    {.name = "HandheldIndicatorKeepsEveryHandheldCategoryAndName",
     .firstSync = 1,
     .handheld = {kUnfiled, {1, 11, "Work"}, {2, 12, "Business"}},
     .desktop = {kUnfiled, {1, 11, "Job"}},
     .handheldRecords = {2, 1}, .desktopRows = {1},
     .agreed = {kUnfiled, {1, 11, "Work"}, {2, 12, "Business"}},
     .handheldRecordsAfter = {2, 1}, .desktopRowsAfter = {1}},
};

INSTANTIATE_TEST_SUITE_P(Cases, ReconcileTest, ::testing::ValuesIn(kReconcileCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReconcileFixture, FailedMoveToUnfiledKeepsTheCategoryOnBothSides) {
    handheld.Faults().everyCallOf.push_back({synckit::SyncOp::ChangeCategory, kSyncErrFailed});
    Prepare(0, 0, {kUnfiled, {2, 12, "Business"}}, {kUnfiled}, {2}, {});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    const Cats agreed{kUnfiled, {2, 12, "Business"}};
    EXPECT_EQ(HandheldBlock(), agreed);
    EXPECT_EQ(DesktopList(), agreed);  // it comes back to the desktop
    EXPECT_EQ(HandheldRecordCategories(), (std::vector<int>{2}));
    EXPECT_EQ(Messages(), MoveFailedLines("Business"));
}

// Business renamed to "Work" on the desktop while the handheld named another category "Work": the
// desktop rows join the handheld's "Work" and, since the handheld still files those memos under
// Business, they go to the handheld again as modified rows. Rows moved for any other reason keep
// their status.
TEST_F(ReconcileFixture, DesktopRenameToAnotherHandheldCategorysNameResendsTheMovedRows) {
    Prepare(0, 0, {kUnfiled, {1, 11, "Business"}, {3, 13, "Work", true}, {5, 15, "Travel"}},
            {kUnfiled, {1, 11, "Work", true}, {3, 13, "QuickList"}, {4, 15, "Travel"}}, {1, 3}, {1, 3, 4});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(DesktopList(), (Cats{kUnfiled, {1, 11, "Business"}, {3, 13, "Work"}, {5, 15, "Travel"}}));
    EXPECT_EQ(HandheldRecordCategories(), (std::vector<int>{1, 3}));
    EXPECT_EQ(DesktopRowCategories(), (std::vector<int>{3, 3, 5}));
    EXPECT_EQ(DesktopRowValues(&CBaseRecord::GetStatus), (std::vector<int>{kStatusModified, kStatusNone, kStatusNone}));
}

TEST_F(ReconcileFixture, TwoMessagesShareOneHeading) {
    Prepare(0, 0, {kUnfiled, {2, 12, "Business"}}, {kUnfiled, {3, 13, "Travel"}}, {2}, {3});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(Messages(), Join({DeletedLines("Pilot", "Business"), DeletedLines("Desktop", "Travel")}));
    EXPECT_EQ(HandheldRecordCategories(), (std::vector<int>{0}));
    EXPECT_EQ(DesktopRowCategories(), (std::vector<int>{0}));
}

TEST_F(ReconcileFixture, FailedBlockWriteIsReturnedAfterTheDesktopListIsAgreed) {
    handheld.Faults().everyCallOf.push_back({synckit::SyncOp::WriteAppInfo, kSyncErrLinkLost});
    Prepare(0, 0, {kUnfiled, {1, 11, "Work"}}, {kUnfiled, {1, 11, "Job", true}}, {}, {});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);
    const std::string before = *handheld.FindDatabase("MemoDB")->appInfo;

    EXPECT_EQ(session->ReconcileCategories(), kSyncErrLinkLost);
    EXPECT_EQ(*handheld.FindDatabase("MemoDB")->appInfo, before);
    EXPECT_EQ(DesktopList(), (Cats{kUnfiled, {1, 11, "Job"}}));
}

// ---- Whole copies ----

TEST_F(ReconcileFixture, HandheldToDesktopCopiesTheHandheldListAndWritesNothing) {
    Prepare(2, 0, {kUnfiled, {1, 11, "Work", true}, {9, 90, "Ideas"}}, {kUnfiled, {7, 70, "Old", true}}, {1},
          {7});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);
    const std::string before = *handheld.FindDatabase("MemoDB")->appInfo;

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(DesktopList(), (Cats{kUnfiled, {1, 11, "Work"}, {9, 90, "Ideas"}}));
    EXPECT_EQ(handheld.CountCalls(synckit::SyncOp::WriteAppInfo), 0u);
    EXPECT_EQ(handheld.CountCalls(synckit::SyncOp::ChangeCategory), 0u);
    EXPECT_EQ(*handheld.FindDatabase("MemoDB")->appInfo, before);
    EXPECT_EQ(DesktopRowCategories(), (std::vector<int>{7}));  // rows are the copy pass's business
    EXPECT_TRUE(log.Entries().empty());
}

// The desktop list replaces the handheld's. Handheld records under an index the desktop list leaves
// empty go to "Unfiled" first, so that a copy that breaks off later leaves none of them filed under
// a category that is gone; records under an index the desktop list holds stay where they are.
TEST_F(ReconcileFixture, DesktopToHandheldRewritesTheBlockAndUnfilesRecordsOfDroppedIndices) {
    const Cats desktop{kUnfiled, {7, 70, "Old", true}, {8, 80, "A name longer than fifteen"}};
    Prepare(3, 0, {kUnfiled, {1, 11, "Work", true}, {7, 17, "Seven"}}, desktop, {1, 7}, {7});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(HandheldBlock(), (Cats{kUnfiled, {7, 70, "Old"}, {8, 80, "A name longer t"}}));
    EXPECT_EQ(DesktopList(), desktop);
    EXPECT_EQ(HandheldRecordCategories(), (std::vector<int>{0, 7}));
    EXPECT_EQ(handheld.CountCalls(synckit::SyncOp::ChangeCategory), 1u);
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(ReconcileFixture, DesktopToHandheldLogsAFailedMoveAndStillWritesTheBlock) {
    handheld.Faults().everyCallOf.push_back({synckit::SyncOp::ChangeCategory, kSyncErrFailed});
    Prepare(3, 0, {kUnfiled, {1, 11, "Work"}}, {kUnfiled}, {1}, {});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);

    EXPECT_EQ(session->ReconcileCategories(), 0);
    EXPECT_EQ(HandheldBlock(), (Cats{kUnfiled}));
    EXPECT_EQ(HandheldRecordCategories(), (std::vector<int>{1}));
    EXPECT_EQ(Messages(), MoveFailedLines("Work"));
}

// ---- Reading the handheld categories ----

TEST_F(ReconcileFixture, ReadingFillsTheHandheldListWithTheNameDirtyFlags) {
    const Cats handheldCats{kUnfiled, {1, 11, "Work", true}, {15, 255, "Last"}};
    Prepare(0, 0, handheldCats, {}, {}, {});

    ASSERT_EQ(session->ReadHandheldCategories(), 0);
    EXPECT_EQ(CategoriesOf(*session->handheldCategories_), handheldCats);
    EXPECT_EQ(tervano::test::Unpacked(session->appInfo_.bufferSize), 800);
    EXPECT_STREQ(session->appInfo_.dbName, "MemoDB");

    // A second read starts over with a fresh list and buffer.
    handheld.FindDatabase("MemoDB")->appInfo = BuildAppInfo({kUnfiled});
    ASSERT_EQ(session->ReadHandheldCategories(), 0);
    EXPECT_EQ(CategoriesOf(*session->handheldCategories_), (Cats{kUnfiled}));
}

TEST_F(ReconcileFixture, ReadingAnswersTheSyncManagersCodeOrAnEmptyListWithoutABlock) {
    struct Case {
        const char* name;
        bool blockPresent;
        int32_t fault;
        int32_t expected;
    } cases[] = {
        {"no application-info block: an empty list", false, 0, 0},
        {"read refused", true, kSyncErrFailed, kSyncErrFailed},
        {"link lost", true, kSyncErrLinkLost, kSyncErrLinkLost},
    };
    Prepare(0, 0, {kUnfiled}, {}, {}, {});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        handheld.Faults().everyCallOf.clear();
        if (c.fault != 0) handheld.Faults().everyCallOf.push_back({synckit::SyncOp::ReadAppInfo, c.fault});
        auto& block = handheld.FindDatabase("MemoDB")->appInfo;
        if (c.blockPresent) block = BuildAppInfo({kUnfiled}); else block.reset();
        EXPECT_EQ(session->ReadHandheldCategories(), c.expected);
        ASSERT_NE(session->handheldCategories_, nullptr);
        EXPECT_EQ(session->handheldCategories_->GetCount(), 0);
    }
}

TEST_F(ReconcileFixture, ALongDatabaseNameIsCutToFitTheBlock) {
    static char longName[] = "A handheld database name well beyond the block field";
    handheld.AddDatabase(longName, session_test::kMemoCreator, session_test::kMemoType).appInfo = BuildAppInfo({});
    HotSyncProperties p = session_test::MemoProperties(0);
    p.databaseNames[0] = longName;
    OpenMemoMonitor longSession(p);
    longSession.Open();

    ASSERT_EQ(longSession.ReadHandheldCategories(), 0);
    EXPECT_EQ(std::string(longSession.appInfo_.dbName, sizeof longSession.appInfo_.dbName),
              std::string(longName, 31) + '\0');
}

}  // namespace

// A handheld without a memo database: the session creates it, and the new database has no
// application-info block yet. The copy must still reach the handheld, with the desktop's categories.
TEST_F(ReconcileFixture, DesktopToHandheldCopyOntoAHandheldWithoutTheDatabase) {
    handheld.Databases().clear();
    {
        CMemoTable desktop;
        tervano::test::AddCategories(*desktop.GetCategoryManager(), {kUnfiled, {1, 11, "Work"}});
        CMemoRecord row(desktop, 0);
        ASSERT_EQ(desktop.CreateRecord(row), 0);
        row.SetCategoryId(1);
        row.SetMemo("Call the printer");
        row.SetStatus(kStatusAdded);
        ASSERT_EQ(desktop.SaveTo("C:\\Users\\Ann\\memopad\\memopad.dat"), 0);
    }
    CMemoMonitor monitor(session_test::QuietProgress, session_test::MemoProperties(3), ConduitModule());

    EXPECT_EQ(monitor.Synchronize(), 0);
    const synckit::HandheldDatabase* db = handheld.FindDatabase("MemoDB");
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->records.size(), 1u);
    EXPECT_EQ(db->records[0].data, std::string("Call the printer") + '\0');
    EXPECT_EQ(db->records[0].category, 1);
    EXPECT_EQ(HandheldBlock(), (Cats{kUnfiled, {1, 11, "Work"}}));
    EXPECT_EQ(log.Entries().back(), (synckit::LogEntry{"Memo Pad", 20, 0}));
}
