// The session routine: start and completion entries, count repair and count check, the save with
// its ".bak" copy, and what is skipped after a broken connection.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "SessionTestSupport.h"
#include "session/LogKinds.h"

using namespace session_test;
using synckit::SyncOp;

namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class SynchronizeTest : public SessionFixture {};

TEST_F(SynchronizeTest, QuietSlowSyncWithEqualCountsLogsOnlyStartAndCompletion) {
    ScriptedMonitor session(MemoProperties(1));
    EXPECT_EQ(session.Synchronize(), 0);
    EXPECT_EQ(log.Entries(), (Entries{{"", 19, 0}, {"Memo Pad", 20, 0}}));
    EXPECT_EQ(session.calls, (std::vector<std::string>{"ReconcileCategories", "SlowSync", "ApplyHandheldOrder",
                                                        "ArchiveRecords", "SaveDesktopTable"}));
    EXPECT_TRUE(std::filesystem::exists(DesktopFile()));
    EXPECT_EQ(ReadFile(BackupFile()), ReadFile(DesktopFile()));  // the ".bak" is a copy of the saved file
    EXPECT_EQ(CountCalls(SyncOp::ResetSyncFlags), 1u);
    EXPECT_EQ(CountCalls(SyncOp::CloseDB), 1u);
    EXPECT_EQ(CountCalls(SyncOp::UnRegisterConduit), 1u);
    EXPECT_FALSE(handheld.Registered());
}

TEST_F(SynchronizeTest, RegisterFailureReturnsItsCodeWithNoLogEntryAtAll) {
    handheld.Faults().everyCallOf.push_back({SyncOp::RegisterConduit, 16385});
    ScriptedMonitor session(MemoProperties(0));
    EXPECT_EQ(session.Synchronize(), 16385);
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_TRUE(session.calls.empty());
    EXPECT_EQ(handheld.CallCount(), 1);
}

TEST_F(SynchronizeTest, EachSyncTypeRunsItsPass) {
    const struct { int32_t type; const char* pass; } cases[] = {
        {0, "FastSync"}, {1, "SlowSync"}, {2, "CopyHandheldToDesktop"}, {3, "CopyDesktopToHandheld"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        log.Clear();
        ScriptedMonitor session(MemoProperties(c.type));
        EXPECT_EQ(session.Synchronize(), 0);
        ASSERT_GE(session.calls.size(), 2u);
        EXPECT_EQ(session.calls[1], c.pass);
        EXPECT_EQ(session.calls.size(), 5u);  // only the one pass; equal counts need no repair
    }
}

// A two-way sync after which the sides hold different numbers of records is followed by a whole
// copy from the side that has more; with fewer desktop records the desktop is emptied first.
TEST_F(SynchronizeTest, CountRepairCopiesFromTheSideWithMoreRecords) {
    const struct {
        const char* name; int32_t type; int desktop; int handheld; const char* copy;
    } cases[] = {
        {"fast, desktop has more", 0, 3, 1, "CopyDesktopToHandheld"},
        {"slow, desktop has more", 1, 2, 0, "CopyDesktopToHandheld"},
        {"fast, handheld has more", 0, 1, 3, "CopyHandheldToDesktop"},
        {"slow, handheld has more", 1, 2, 4, "CopyHandheldToDesktop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        std::filesystem::remove(DesktopFile());
        handheld.FindDatabase("MemoDB")->records.clear();
        AddHandheldRecords(c.handheld);
        ScriptedMonitor session(MemoProperties(c.type));
        auto addRows = [&] { session.AddDesktopRows(c.desktop); return 0; };
        (c.type == 0 ? session.fastSync : session.slowSync) = addRows;
        // The copies bring both sides to the same count, as the real passes would.
        session.toDesktop = [&] { session.AddDesktopRows(c.handheld); return 0; };
        session.toHandheld = [&] {
            handheld.FindDatabase("MemoDB")->records.clear();
            AddHandheldRecords(c.desktop);
            return 0;
        };
        EXPECT_EQ(session.Synchronize(), 0);
        EXPECT_TRUE(session.Called(c.copy));
        EXPECT_FALSE(session.Called(std::string(c.copy) == "CopyDesktopToHandheld" ? "CopyHandheldToDesktop"
                                                                                    : "CopyDesktopToHandheld"));
        if (std::string(c.copy) == "CopyHandheldToDesktop") {
            EXPECT_EQ(session.desktopCountAtCopyToDesktop, 0);  // emptied before the copy
        }
        EXPECT_EQ(log.Entries().back(), (synckit::LogEntry{"Memo Pad", 20, 0}));
    }
}

TEST_F(SynchronizeTest, WholeCopiesAreNotRepairedByCounts) {
    ScriptedMonitor session(MemoProperties(2));
    AddHandheldRecords(2);
    EXPECT_EQ(session.Synchronize(), 0);
    EXPECT_EQ(session.calls[1], "CopyHandheldToDesktop");
    EXPECT_FALSE(session.Called("CopyDesktopToHandheld"));
    // The count check still notices the difference (0 desktop records against 2).
    EXPECT_EQ(log.Entries().back().kind, 21);
}

TEST_F(SynchronizeTest, CountMismatchLogsTheCountsAndFailsTheCompletion) {
    AddHandheldRecords(14);
    ScriptedMonitor session(MemoProperties(1));
    session.toDesktop = [&] { session.AddDesktopRows(12); return 0; };  // two records did not fit
    EXPECT_EQ(session.Synchronize(), 0);
    const Entries expected = {
        {"", 19, 0},
        {"-- Memo Pad", -1, 0},
        {"   - Some Pilot records were not copied to the Desktop. Your computer may be", 14, 0},
        {"     full or you may have reached the maximum allowed records on the desktop.", -1, 0},
        {"     To correct this situation, delete some records and HotSync again.", -1, 0},
        {"     Desktop = 12, Pilot = 14", -1, 0},
        {"Memo Pad", 21, 0},
    };
    EXPECT_EQ(log.Entries(), expected);
}

TEST_F(SynchronizeTest, DesktopSurplusLogsTheDesktopMessage) {
    ScriptedMonitor session(MemoProperties(3));
    session.toHandheld = [&] { session.AddDesktopRows(5); AddHandheldRecords(3); return 0; };
    EXPECT_EQ(session.Synchronize(), 0);
    const Entries expected = {
        {"", 19, 0},
        {"-- Memo Pad", -1, 0},
        {"   - Some Desktop records were not copied to Pilot. Your Pilot may be full.", 14, 0},
        {"     To correct this situation, delete some records and HotSync again.", -1, 0},
        {"     Desktop = 5, Pilot = 3", -1, 0},
        {"Memo Pad", 21, 0},
    };
    EXPECT_EQ(log.Entries(), expected);
}

TEST_F(SynchronizeTest, FailedSaveKeepsTheOldBackupByteForByte) {
    { std::ofstream(BackupFile(), std::ios::binary) << std::string("old backup\0\x01\xff", 14); }
    const std::string before = ReadFile(BackupFile());
    ScriptedMonitor session(MemoProperties(1));
    session.failSave = true;
    EXPECT_EQ(session.Synchronize(), 0);
    EXPECT_EQ(ReadFile(BackupFile()), before);
    EXPECT_EQ(CountCalls(SyncOp::ResetSyncFlags), 0u);  // nothing was saved: the handheld keeps its flags
    const Entries expected = {
        {"", 19, 0},
        {"-- Memo Pad", -1, 0},
        {"   - Could not save the Desktop file.", 17, 0},
        {"     Your Desktop disk may be full.  Check the disk space and HotSync again.", -1, 0},
        {"Memo Pad", 21, 0},
    };
    EXPECT_EQ(log.Entries(), expected);
}

TEST_F(SynchronizeTest, FlagResetFailureFailsTheCompletionWithoutAMessage) {
    handheld.Faults().everyCallOf.push_back({SyncOp::ResetSyncFlags, 16385});
    ScriptedMonitor session(MemoProperties(0));
    EXPECT_EQ(session.Synchronize(), 0);
    EXPECT_EQ(log.Entries(), (Entries{{"", 19, 0}, {"Memo Pad", 21, 0}}));
    EXPECT_TRUE(std::filesystem::exists(BackupFile()));  // the copy is still made
}

TEST_F(SynchronizeTest, AfterABrokenConnectionNothingMoreIsAskedOfTheHandheld) {
    ScriptedMonitor session(MemoProperties(0));
    session.fastSync = [&] {
        handheld.Faults().dropConnectionAfter = handheld.CallCount();
        return SyncYieldCycles(1);  // the link is gone
    };
    EXPECT_EQ(session.Synchronize(), kSyncErrLinkLost);
    EXPECT_EQ(CountCalls(SyncOp::CloseDB), 0u);
    EXPECT_EQ(CountCalls(SyncOp::UnRegisterConduit), 0u);
    EXPECT_EQ(CountCalls(SyncOp::GetDBRecordCount), 0u);
    EXPECT_FALSE(session.Called("ApplyHandheldOrder"));
    EXPECT_FALSE(session.Called("SaveDesktopTable"));
    EXPECT_FALSE(std::filesystem::exists(DesktopFile()));
    EXPECT_EQ(log.Entries().back(), (synckit::LogEntry{"Memo Pad", 21, 0}));
}

TEST_F(SynchronizeTest, HandheldFullStillArchivesAndSaves) {
    ScriptedMonitor session(MemoProperties(3));
    session.toHandheld = [] { return kSyncErrNoSpace; };
    EXPECT_EQ(session.Synchronize(), kSyncErrNoSpace);
    EXPECT_TRUE(session.Called("ArchiveRecords"));
    EXPECT_TRUE(session.Called("SaveDesktopTable"));
    EXPECT_EQ(CountCalls(SyncOp::UnRegisterConduit), 1u);
    EXPECT_EQ(log.Entries().back().kind, 21);
}

// The count check takes the count query's code as the result; a failed pass must still be what
// the session reports, and the handheld keeps its change flags for the records not yet read.
TEST_F(SynchronizeTest, FailedPassStaysTheResultAfterTheCountCheck) {
    ScriptedMonitor session(MemoProperties(0));
    session.fastSync = [] { return kErrToDesktopRecord; };
    EXPECT_EQ(session.Synchronize(), kErrToDesktopRecord);
    EXPECT_TRUE(session.Called("SaveDesktopTable"));
    EXPECT_EQ(CountCalls(SyncOp::ResetSyncFlags), 0u);
    EXPECT_EQ(log.Entries().back(), (synckit::LogEntry{"Memo Pad", 21, 0}));
}

// A desktop file the table library refuses leaves an empty table: saving it would overwrite the
// user's file, so nothing after the failed open touches either side.
TEST_F(SynchronizeTest, UnloadableDesktopFileIsNeitherOverwrittenNorBackedUp) {
    { std::ofstream(DesktopFile(), std::ios::binary) << "not a memo table"; }
    ScriptedMonitor session(MemoProperties(0));
    EXPECT_EQ(session.Synchronize(), kErrDesktopTable);
    EXPECT_EQ(ReadFile(DesktopFile()), "not a memo table");
    EXPECT_FALSE(std::filesystem::exists(BackupFile()));
    EXPECT_FALSE(session.Called("FastSync"));
    EXPECT_EQ(CountCalls(SyncOp::ResetSyncFlags), 0u);
    EXPECT_EQ(CountCalls(SyncOp::CloseDB), 1u);
    EXPECT_EQ(log.Entries(), (Entries{{"", 19, 0}, {"Memo Pad", 21, 0}}));
}

TEST_F(SynchronizeTest, OrderAndArchiveFailuresShareOneHeader) {
    ScriptedMonitor session(MemoProperties(1));
    session.order = [] { return 16385; };
    session.archive = [] { return 4103; };
    EXPECT_EQ(session.Synchronize(), 0);
    const Entries expected = {
        {"", 19, 0},
        {"-- Memo Pad", -1, 0},
        {"   - Records may not be sorted correctly on the Desktop.", 15, 0},
        {"     Please check your connections and try again.", -1, 0},
        {"   - Some or all of your deleted records were not archived.", 16, 0},
        {"     Your Desktop disk may be full.  Check the disk space and HotSync again.", -1, 0},
        {"Memo Pad", 20, 0},  // neither failure changes the completion kind
    };
    EXPECT_EQ(log.Entries(), expected);
}

TEST(BackupPathTest, CutsBeforeTheLastDotAnywhereInThePath) {
    const struct { const char* desktop; const char* backup; } cases[] = {
        {"C:\\Pilot\\memopad\\memopad.dat", "C:\\Pilot\\memopad\\memopad.bak"},  // the usual name
        {"C:\\Pilot.dir\\memos", "C:\\Pilot.bak"},  // only the folder has a dot: cut there
        {"C:\\Pilot\\memos", "C:\\Pilot\\memos.bak"},  // no dot at all
        {"C:\\Pilot\\memo.pad.dat", "C:\\Pilot\\memo.pad.bak"},  // only the last dot counts
        {"", ".bak"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desktop);
        EXPECT_EQ(BackupPathFor(c.desktop), c.backup);
    }
}

class ResetForNewHandheldTest : public SessionFixture {};

TEST_F(ResetForNewHandheldTest, OldHandheldNewToThisDesktopGetsEveryRecordAsNew) {
    const struct { int32_t indicator; uint32_t rom; bool reset; } cases[] = {
        {2, 0x01003000, true},   // ROM 1.0, new to this desktop
        {2, 0x02003000, false},  // ROM 2.0
        {1, 0x01003000, false},  // not new
        {0, 0x01003000, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.indicator << " " << std::hex << c.rom);
        HotSyncProperties p = MemoProperties(0);
        p.firstSyncIndicator = c.indicator;
        ScriptedMonitor session(p);
        session.systemInfo_.romSoftVersion = c.rom;
        ASSERT_EQ(session.OpenDesktopTables(), 0);
        CMemoTable& table = *session.desktopTable_;
        const int32_t statuses[] = {kStatusNone, kStatusModified, kStatusDeleted};
        for (int i = 0; i < 3; ++i) {
            CMemoRecord row(table, 0);
            table.CreateRecord(row);
            row.SetRecordId(0x400001 + i);
            row.SetStatus(statuses[i]);
        }
        EXPECT_EQ(session.ResetForNewHandheld(), 0);
        CBaseIterator walk(table);
        CBaseRecord row(table, 0);
        int i = 0;
        for (int32_t found = walk.FindFirst(row, 0); found == 0; found = walk.FindNext(row, 0), ++i) {
            uint32_t id = 0;
            int32_t status = 0;
            row.GetRecordId(id);
            row.GetStatus(status);
            EXPECT_EQ(id, c.reset ? 0u : 0x400001u + i);
            EXPECT_EQ(status, c.reset && statuses[i] != kStatusDeleted ? kStatusAdded : statuses[i]);
        }
        EXPECT_EQ(i, 3);
    }
}

TEST(ResultCodesTest, ClassifiesConnectionFailuresAndAFullHandheld) {
    EXPECT_TRUE(IsCommsError(kSyncErrLinkLost));
    EXPECT_TRUE(IsCommsError(0x2000));
    EXPECT_FALSE(IsCommsError(-1));  // every bit set, yet "not supported"
    EXPECT_FALSE(IsCommsError(16403));
    EXPECT_FALSE(IsCommsError(0));
    EXPECT_TRUE(IsHandheldFull(16403));
    EXPECT_TRUE(IsHandheldFull(16404));
    EXPECT_FALSE(IsHandheldFull(16405));
    EXPECT_FALSE(IsHandheldFull(16402));
}

}  // namespace
