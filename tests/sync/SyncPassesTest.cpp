// The passes end to end: whole HotSyncs through the session on an in-memory handheld with the
// desktop file in a temporary prefix, and what each side holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "SyncFixture.h"
#include "session/PassSupport.h"

using namespace sync_test;
using synckit::SyncOp;

namespace {

class SyncPassesTest : public SyncFixture {
protected:
    static bool Contains(const std::vector<std::string>& texts, const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::vector<std::string> Sorted(std::vector<std::string> texts) {
        std::sort(texts.begin(), texts.end());
        return texts;
    }
    // The lines of one message as logged, from its first line on.
    std::vector<std::string> MessageFrom(const std::string& firstLine, size_t lines) const {
        const auto texts = LogTexts();
        auto it = std::find(texts.begin(), texts.end(), firstLine);
        if (it == texts.end()) return {};
        return std::vector<std::string>(it, std::min(texts.end(), it + static_cast<long>(lines)));
    }
};

const std::string kData = "       ";

// The ordinary conflicts of a fast sync, each checked on both sides afterwards.
TEST_F(SyncPassesTest, FastSyncConflicts) {
    const auto ids = StartInStep({"alike", "apart", "archive me", "deleted here", "untouched", "delete there"});
    EditHandheld(ids[0], "alike now");
    EditDesktopRow(ids[0], [](CMemoRecord& r) { r.SetMemo("alike now"); r.SetStatus(kStatusModified); });
    EditHandheld(ids[1], "apart handheld");
    EditDesktopRow(ids[1], [](CMemoRecord& r) { r.SetMemo("apart desktop"); r.SetStatus(kStatusModified); });
    // Marked for archiving on the handheld (with its dirty bit, not deleted) against another desktop edit.
    EditHandheld(ids[2], "archive me", kRecAttrArchived | kRecAttrDirty);
    EditDesktopRow(ids[2], [](CMemoRecord& r) { r.SetMemo("archive me, edited"); r.SetStatus(kStatusModified); });
    // Deleted on the handheld but edited on the desktop.
    EditHandheld(ids[3], "deleted here", kRecAttrDeleted);
    EditDesktopRow(ids[3], [](CMemoRecord& r) { r.SetMemo("deleted here, edited there"); r.SetStatus(kStatusModified); });
    // Deleted on the handheld, untouched on the desktop.
    EditHandheld(ids[5], "delete there", kRecAttrDeleted);

    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(CompletionKind(), 20);

    const std::vector<std::string> expected = Sorted({"alike now", "apart handheld", "apart desktop", "archive me",
                                                      "archive me, edited", "deleted here, edited there", "untouched"});
    EXPECT_EQ(Sorted(HandheldTexts()), expected);
    EXPECT_EQ(Sorted(DesktopTexts()), expected);
    for (const Row& row : DesktopRows()) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.status, kStatusNone);
        EXPECT_NE(row.id, 0u);
        ASSERT_NE(HandheldRecord(row.id), nullptr);
        EXPECT_EQ(HandheldRecord(row.id)->data, row.text + std::string(1, '\0'));
    }
    EXPECT_TRUE(ArchiveTexts().empty());  // the record marked for archiving was not archived

    // Alike: no message. Apart: 3328 with the handheld's version. Archive: 3331. Deleted/edited: 3334
    // with the desktop's version.
    EXPECT_FALSE(Logged(kData + "alike now"));
    EXPECT_EQ(MessageFrom("   - The following record was modified on both Pilot and the Desktop:", 4),
              (std::vector<std::string>{"   - The following record was modified on both Pilot and the Desktop:",
                                        kData + "apart handheld", "     This record will be duplicated on each platform.",
                                        "     Delete the unwanted record and HotSync again."}));
    EXPECT_TRUE(Logged("     be archived was not archived.  Delete the unwanted record and HotSync again."));
    EXPECT_EQ(MessageFrom("   - The following record was modified on one platform and deleted on the other.", 3),
              (std::vector<std::string>{"   - The following record was modified on one platform and deleted on the other.",
                                        "     The modified version will appear on both platforms.",
                                        kData + "deleted here, edited there"}));
    // The record deleted on the handheld and untouched on the desktop left without a handheld call;
    // none of these needed a delete at all.
    EXPECT_EQ(CountCalls(SyncOp::DeleteRec), 0u);
    EXPECT_EQ(log.Entries().front(), (synckit::LogEntry{"", 19, 0}));
}

// Archived on the handheld: the handheld's text goes to the archive file even though it arrives with
// the deleted bit, after another record had filled the record object; and a record edited, then
// archived on the handheld while it was also edited on the desktop keeps both texts.
TEST_F(SyncPassesTest, ArchivedHandheldRecordsKeepTheirText) {
    const auto ids = StartInStep({"first", "to the archive", "edited twice", "stays"});
    EditHandheld(ids[0], "first, edited");
    EditHandheld(ids[1], "to the archive", kRecAttrArchived | kRecAttrDeleted);
    EditHandheld(ids[2], "edited on the handheld", kRecAttrArchived | kRecAttrDeleted | kRecAttrDirty);
    EditDesktopRow(ids[2], [](CMemoRecord& r) { r.SetMemo("edited on the desktop"); r.SetStatus(kStatusModified); });

    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(ArchiveTexts(), (std::vector<std::string>{"edited on the handheld", "to the archive"}));
    const auto expected = Sorted({"first, edited", "edited on the desktop", "stays"});
    EXPECT_EQ(Sorted(HandheldTexts()), expected);
    EXPECT_EQ(Sorted(DesktopTexts()), expected);
}

TEST_F(SyncPassesTest, DesktopDeletionsAndAdditionsReachTheHandheld) {
    const auto ids = StartInStep({"keep", "drop on desktop"});
    EditDesktop([&](CMemoTable& t) {
        AppendRow(t, {0, kStatusAdded, false, "new on desktop"});
        AppendRow(t, {0, kStatusDeleted, false, "never sent"});  // no handheld id: no delete call
    });
    EditDesktopRow(ids[1], [](CMemoRecord& r) { r.SetStatus(kStatusDeleted); });

    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(CompletionKind(), 20);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"keep", "new on desktop"}));
    EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"keep", "new on desktop"}));
    ASSERT_EQ(CountCalls(SyncOp::DeleteRec), 1u);  // only the row with a handheld id
    for (const auto& call : handheld.Calls())
        if (call.op == SyncOp::DeleteRec) { EXPECT_EQ(call.recordId, ids[1]); }
    for (const Row& row : DesktopRows()) EXPECT_NE(row.id, 0u) << row.text;  // the new row took its handheld id
}

// A changed record the handheld has no room for is logged, keeps its status for the next sync, and
// the walk goes on to the next one.
TEST_F(SyncPassesTest, FullHandheldOnAChangedRecordDoesNotStopTheWalk) {
    const auto ids = StartInStep({"one", "two", "three"});
    for (int i = 0; i < 3; ++i) {
        EditDesktopRow(ids[i], [&](CMemoRecord& r) { r.SetMemo("edit " + std::to_string(i)); r.SetStatus(kStatusModified); });
    }
    handheld.Faults().nthCallsOf.push_back({SyncOp::WriteRec, 1, kSyncErrMemoryFull});

    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"one", "edit 1", "edit 2"}));
    EXPECT_EQ(CountCalls(SyncOp::WriteRec), 3u);
    EXPECT_EQ(MessageFrom("   - Could not modify the following record on Pilot:", 3),
              (std::vector<std::string>{"   - Could not modify the following record on Pilot:", kData + "edit 0",
                                        "     Please check your connections and try again."}));
    // The failed one is still modified in the saved file, so the next sync sends it.
    for (const Row& row : DesktopRows()) EXPECT_EQ(row.status, row.text == "edit 0" ? kStatusModified : kStatusNone);
    log.Clear();
    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"edit 0", "edit 1", "edit 2"}));
    EXPECT_EQ(CompletionKind(), 20);
}

// A slow sync without a ".bak" file takes every unchanged handheld record as modified.
TEST_F(SyncPassesTest, SlowSyncWithoutBackupFile) {
    const auto ids = StartInStep({"plain", "same edit", "different", "gone on handheld"});
    std::filesystem::remove(BackupFile());
    EditDesktopRow(ids[0], [](CMemoRecord& r) { r.SetMemo("plain, stale desktop text"); });  // status none
    EditHandheld(ids[1], "same edit", 0);
    EditDesktopRow(ids[1], [](CMemoRecord& r) { r.SetStatus(kStatusModified); });
    EditHandheld(ids[2], "different on handheld", 0);
    EditDesktopRow(ids[2], [](CMemoRecord& r) { r.SetMemo("different on desktop"); r.SetStatus(kStatusModified); });
    Db().records.erase(Db().records.begin() + 3);  // deleted and purged on the handheld: never read

    EXPECT_EQ(Sync(1), 0);
    const auto expected = Sorted({"plain", "same edit", "different on handheld", "different on desktop"});
    EXPECT_EQ(Sorted(DesktopTexts()), expected);
    EXPECT_EQ(Sorted(HandheldTexts()), expected);
    EXPECT_TRUE(Logged(kData + "different on handheld"));
    EXPECT_TRUE(Logged("   - The following record was modified on both Pilot and the Desktop:"));
    EXPECT_EQ(CompletionKind(), 20);
}

TEST_F(SyncPassesTest, SlowSyncWithBackupFileKeepsUnchangedRecordsQuiet) {
    const auto ids = StartInStep({"a", "b", "c"});
    EditDesktopRow(ids[1], [](CMemoRecord& r) { r.SetMemo("b desktop"); r.SetStatus(kStatusModified); });
    EXPECT_EQ(Sync(1), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"a", "b desktop", "c"}));
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"", "Memo Pad"}));
}

// The whole copies: archived records never go to the handheld and leave the desktop for the archive
// file; the handheld-to-desktop copy skips deleted records and archives archived ones.
TEST_F(SyncPassesTest, WholeCopies) {
    const auto ids = StartInStep({"keep 1", "keep 2", "archive"});
    EditDesktopRow(ids[2], [](CMemoRecord& r) { r.SetArchiveBit(1); });
    EXPECT_EQ(Sync(3), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"keep 1", "keep 2"}));
    EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"keep 1", "keep 2"}));
    EXPECT_EQ(ArchiveTexts(), (std::vector<std::string>{"archive"}));
    EXPECT_EQ(CountCalls(SyncOp::PurgeAllRecs), 1u);

    AddHandheld("archived on handheld", kRecAttrArchived | kRecAttrDeleted);
    AddHandheld("deleted on handheld", kRecAttrDeleted);
    log.Clear();
    EXPECT_EQ(Sync(2), 0);
    EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"keep 1", "keep 2"}));
    EXPECT_EQ(ArchiveTexts(), (std::vector<std::string>{"archive", "archived on handheld"}));
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"keep 1", "keep 2"}));  // the deleted ones were purged
    EXPECT_FALSE(Logged("   - Could not read the next Pilot record."));
}

// A handheld-to-desktop copy whose read fails part way leaves the records it did not read on the
// handheld (no purge: an archived one among them has no other copy), reports the read failure, and
// a later copy archives them.
TEST_F(SyncPassesTest, HandheldToDesktopCopyBrokenByAReadPurgesNothing) {
    StartInStep({"a", "b"});
    AddHandheld("archived late", kRecAttrArchived | kRecAttrDeleted);
    Reconnect();
    handheld.Faults().nthCallsOf.push_back({SyncOp::ReadRecordByIndex, 2, kSyncErrFailed});
    EXPECT_EQ(Sync(2), kSyncErrFailed);
    EXPECT_TRUE(Logged("   - Could not read the next Pilot record."));
    EXPECT_EQ(CountCalls(SyncOp::PurgeDeletedRecs), 0u);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"a", "b", "archived late"}));
    EXPECT_EQ(ArchiveTexts(), std::vector<std::string>{});

    Reconnect();
    EXPECT_EQ(Sync(2), 0);
    EXPECT_EQ(ArchiveTexts(), (std::vector<std::string>{"archived late"}));
    EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"a", "b"}));
}

// Once the purge has taken the archived records off the handheld, they are in the archive file even
// when the connection breaks right after (the count query then answers nothing and the session saves
// nothing).
TEST_F(SyncPassesTest, HandheldToDesktopCopyArchivesRightAfterThePurge) {
    StartInStep({"a"});
    AddHandheld("archived", kRecAttrArchived | kRecAttrDeleted);
    Reconnect();
    handheld.Faults().everyCallOf.push_back({SyncOp::GetDBRecordCount, kSyncErrLinkLost});
    EXPECT_EQ(Sync(2), kSyncErrLinkLost);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"a"}));
    EXPECT_EQ(ArchiveTexts(), (std::vector<std::string>{"archived"}));
}

// A desktop-to-handheld copy that empties the handheld and then breaks off: the rows not yet written
// become new rows (id 0, added), the desktop file is saved although the connection broke, and the
// next slow sync brings every memo back to the handheld.
TEST_F(SyncPassesTest, DesktopToHandheldCopyBrokenAfterThePurgeKeepsTheUnwrittenRows) {
    StartInStep({"a", "b", "c", "d"});
    Reconnect();
    handheld.Faults().nthCallsOf.push_back({SyncOp::WriteRec, 2, kSyncErrLinkLost});
    EXPECT_EQ(Sync(3), kSyncErrLinkLost);
    const std::vector<Row> rows = DesktopRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_NE(rows[0].id, 0u);
    EXPECT_EQ(rows[0].status, kStatusNone);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].id, 0u) << rows[i].text;
        EXPECT_EQ(rows[i].status, kStatusAdded) << rows[i].text;
    }
    EXPECT_EQ(HandheldTexts().size(), 1u);

    Reconnect();
    EXPECT_EQ(Sync(1), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"a", "b", "c", "d"}));
    EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"a", "b", "c", "d"}));
}

// A desktop memo whose handheld form does not fit a record: logged, left as it was, and every other
// record still goes to the handheld — in the two-way sync and in a desktop-to-handheld copy.
TEST_F(SyncPassesTest, OverLongDesktopMemoIsPassedOver) {
    const std::string longMemo = std::string(kRecordBufferSize, 'x');  // no room for its NUL
    StartInStep({"in step"});
    EditDesktop([&](CMemoTable& t) {
        AppendRow(t, {0, kStatusAdded, false, longMemo});
        AppendRow(t, {0, kStatusAdded, false, "added after it"});
    });

    EXPECT_EQ(Sync(0), 0);
    EXPECT_TRUE(Contains(HandheldTexts(), "added after it"));
    EXPECT_FALSE(Contains(HandheldTexts(), longMemo));
    EXPECT_EQ(MessageFrom("   - Could not copy the following record to Pilot:", 3),
              (std::vector<std::string>{"   - Could not copy the following record to Pilot:",
                                        kData + std::string(70, 'x'),
                                        "     Your Pilot may be full.  Check the Pilot's Memory Application."}));
    bool found = false;
    for (const Row& row : DesktopRows()) {
        if (row.text != longMemo) continue;
        found = true;
        EXPECT_EQ(row.status, kStatusAdded);  // tried again next time
        EXPECT_EQ(row.id, 0u);
    }
    EXPECT_TRUE(found);

    log.Clear();
    EXPECT_EQ(Sync(3), 0);
    EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"in step", "added after it"}));
    EXPECT_TRUE(Contains(DesktopTexts(), longMemo));
    EXPECT_TRUE(Logged("   - Could not copy the following record to Pilot:"));
}

// A memo of exactly the largest size that fits goes through whole.
TEST_F(SyncPassesTest, LongestFittingMemoGoesThroughWhole) {
    const std::string longest = std::string(kRecordBufferSize - 1, 'y');
    StartInStep({});
    EditDesktop([&](CMemoTable& t) { AppendRow(t, {0, kStatusAdded, false, longest}); });
    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(HandheldTexts(), (std::vector<std::string>{longest}));
}

TEST_F(SyncPassesTest, FastSyncWithNoModifiedRecordsLogsNothingAndSendsDesktopChanges) {
    const auto ids = StartInStep({"a"});
    EditDesktopRow(ids[0], [](CMemoRecord& r) { r.SetMemo("a desktop"); r.SetStatus(kStatusModified); });
    EXPECT_EQ(Sync(0), 0);
    EXPECT_EQ(HandheldTexts(), (std::vector<std::string>{"a desktop"}));
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"", "Memo Pad"}));
    EXPECT_EQ(CountCalls(SyncOp::ReadNextModifiedRec), 1u);  // answered 16387 at once
}

// A read failure other than the normal end is logged and ends the reading. The handheld's changes
// are then known only in part, so the desktop half waits and the failure is the pass's result: the
// handheld keeps its change flags and the next sync settles everything.
TEST_F(SyncPassesTest, ReadFailureEndsThePassWithItsCode) {
    for (int32_t syncType : {0, 1}) {
        SCOPED_TRACE(syncType);
        Db().records.clear();
        std::filesystem::remove(DesktopFile());
        std::filesystem::remove(BackupFile());
        log.Clear();
        const auto ids = StartInStep({"a", "b", "c"});
        Reconnect();
        EditHandheld(ids[2], "c handheld");
        EditDesktopRow(ids[2], [](CMemoRecord& r) { r.SetMemo("c desktop"); r.SetStatus(kStatusModified); });
        EditDesktopRow(ids[1], [](CMemoRecord& r) { r.SetMemo("b desktop"); r.SetStatus(kStatusModified); });
        // Fast: the first read of a modified record; slow: the read of index 1.
        handheld.Faults().nthCallsOf.push_back(
            {syncType == 0 ? SyncOp::ReadNextModifiedRec : SyncOp::ReadRecordByIndex, syncType == 0 ? 1 : 2,
             kSyncErrFailed});
        EXPECT_EQ(Sync(syncType), kSyncErrFailed);
        EXPECT_EQ(CompletionKind(), 21);
        EXPECT_EQ(MessageFrom("   - Could not read the next Pilot record.", 2),
                  (std::vector<std::string>{"   - Could not read the next Pilot record.",
                                            "     Please check your connections and try again."}));
        // Nothing was written over the unread handheld edit, and no desktop row was dropped.
        EXPECT_EQ(Sorted(HandheldTexts()), Sorted({"a", "b", "c handheld"}));
        EXPECT_EQ(Sorted(DesktopTexts()), Sorted({"a", "b desktop", "c desktop"}));
        for (const Row& row : DesktopRows()) EXPECT_NE(row.status, kStatusPending) << row.text;
        EXPECT_EQ(HandheldRecord(ids[2])->attributes & kRecAttrDirty, kRecAttrDirty);

        log.Clear();
        EXPECT_EQ(Sync(syncType), 0);
        auto expected = Sorted({"a", "b desktop", "c handheld", "c desktop"});
        // The failed sync still saved the desktop file and refreshed its ".bak" copy (the session
        // saves whenever the count check answers), so the next slow sync finds the unchanged "b"
        // different from the backup and keeps both versions.
        if (syncType == 1) expected = Sorted({"a", "b", "b desktop", "c handheld", "c desktop"});
        EXPECT_EQ(Sorted(HandheldTexts()), expected);
        EXPECT_EQ(Sorted(DesktopTexts()), expected);
    }
}

// The order: with no desktop records no position map is asked for; with more than one map holds,
// every desktop record gets its place in the handheld's whole order.
class OrderMonitor : public CMemoMonitor {
public:
    OrderMonitor() : CMemoMonitor(QuietProgress, MemoProperties(0), ConduitModule()) {
        desktopTable_ = new CMemoTable();
    }
    CMemoTable& Desktop() { return *desktopTable_; }
    void SetHandle(uint8_t handle) { dbHandle_ = handle; }
};

TEST_F(SyncPassesTest, ApplyHandheldOrderWithoutDesktopRecordsAsksNothing) {
    OrderMonitor session;
    EXPECT_EQ(session.ApplyHandheldOrder(), 0);
    EXPECT_EQ(handheld.CallCount(), 0);
}

TEST_F(SyncPassesTest, ApplyHandheldOrderCoversMoreRecordsThanOneMap) {
    constexpr int kCount = kMaxPositionMapEntries + 20;
    std::vector<uint32_t> ids;
    for (int i = 0; i < kCount; ++i) ids.push_back(AddHandheld("m" + std::to_string(i)));
    uint8_t handle = 0;
    ASSERT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), 0);
    OrderMonitor session;
    session.SetHandle(handle);
    // Desktop rows in reverse handheld order, every one with a stale placement.
    for (int i = kCount - 1; i >= 0; --i) {
        AppendRow(session.Desktop(), {ids[i], kStatusNone, false, "m" + std::to_string(i)});
    }
    handheld.ClearCalls();
    EXPECT_EQ(session.ApplyHandheldOrder(), 0);
    EXPECT_EQ(handheld.CountCalls(SyncOp::ReadPositionMap), 2u);

    CBaseIterator walk(session.Desktop());
    CBaseRecord row(session.Desktop(), 0);
    int checked = 0;
    for (int32_t found = walk.FindFirst(row, 0); found == 0; found = walk.FindNext(row, 0), ++checked) {
        uint32_t id = 0;
        int32_t placement = -1;
        row.GetRecordId(id);
        row.GetPlacementPos(placement);
        const auto at = std::find(ids.begin(), ids.end(), id) - ids.begin();
        ASSERT_EQ(placement, at) << "row " << checked;
    }
    EXPECT_EQ(checked, kCount);
}

TEST_F(SyncPassesTest, ApplyHandheldOrderReportsAFailedMap) {
    const uint32_t id = AddHandheld("a");
    uint8_t handle = 0;
    ASSERT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), 0);
    OrderMonitor session;
    session.SetHandle(handle);
    AppendRow(session.Desktop(), {id, kStatusNone, false, "a"});
    handheld.Faults().everyCallOf.push_back({SyncOp::ReadPositionMap, kSyncErrFailed});
    EXPECT_EQ(session.ApplyHandheldOrder(), kSyncErrFailed);
}

// A desktop row that cannot be put into the archive table is not dropped: it keeps its archive mark
// and its handheld record, and the walk goes on.
class FailingArchiveMonitor : public CMemoMonitor {
public:
    explicit FailingArchiveMonitor(int32_t syncType)
        : CMemoMonitor(QuietProgress, MemoProperties(syncType), ConduitModule()) {}
    int32_t AppendRecordToTable(CBaseRecord& record, CBaseTable* table) override {
        if (table == archiveTable_ && table != nullptr) return kErrAppendRecord;
        return CMemoMonitor::AppendRecordToTable(record, table);
    }
};

TEST_F(SyncPassesTest, DesktopRowThatCannotBeArchivedIsKept) {
    for (int32_t syncType : {0, 3}) {
        SCOPED_TRACE(syncType);
        Db().records.clear();
        std::filesystem::remove(DesktopFile());
        log.Clear();
        const auto ids = StartInStep({"archive me", "plain"});
        EditDesktopRow(ids[0], [](CMemoRecord& r) { r.SetArchiveBit(1); });
        FailingArchiveMonitor session(syncType);
        RunSession(session);
        EXPECT_TRUE(Logged("   - Could not copy the following record to the Desktop:"));
        bool kept = false;
        for (const Row& row : DesktopRows()) {
            if (row.text == "archive me") kept = row.archived;
        }
        EXPECT_TRUE(kept);
        if (syncType == 0) {
            EXPECT_EQ(CountCalls(SyncOp::DeleteRec), 0u);
            EXPECT_TRUE(Contains(HandheldTexts(), "archive me"));
        }
    }
}

}  // namespace
