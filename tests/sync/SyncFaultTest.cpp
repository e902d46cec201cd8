// Faults at every handheld call of a two-sided HotSync: for each call of a clean run, the same sync
// is run again from the same start with that call failing (plainly, with a full handheld, or with the
// connection dropped from it on), and the outcome must follow the session's rules and lose no memo.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "SyncFixture.h"

using namespace sync_test;
using synckit::SyncOp;

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Start {
    std::vector<synckit::HandheldDatabase> databases;
    uint32_t nextId = 0;
    std::string desktopFile;
    std::string backupFile;
};

enum class Fault { kFailed, kFull, kDrop };

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::kFailed: return "failed";
        case Fault::kFull: return "handheld full";
        case Fault::kDrop: return "connection dropped";
    }
    return "?";
}

class SyncFaultTest : public SyncFixture, public ::testing::WithParamInterface<int32_t> {
protected:
    // A dozen memos in step, then changes on both sides.
    void BuildScenario() {
        const auto ids = StartInStep({"m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8", "m9", "m10", "m11", "m12"});
        // The handheld side.
        EditHandheld(ids[0], "m1 edited on the handheld");
        EditHandheld(ids[1], "m2", kRecAttrDeleted);                        // deleted by the user
        EditHandheld(ids[2], "m3", kRecAttrArchived | kRecAttrDeleted);     // archived by the user
        AddHandheld("new on the handheld", kRecAttrDirty);
        EditHandheld(ids[3], "m4 edited alike");
        EditHandheld(ids[4], "m5 handheld version");
        EditHandheld(ids[7], "m8", kRecAttrDeleted);                        // deleted here, edited there
        // Edited, then archived by the user on the handheld.
        EditHandheld(ids[9], "m10 edited, then archived", kRecAttrArchived | kRecAttrDeleted | kRecAttrDirty);
        // The desktop side.
        auto edit = [&](uint32_t id, const std::string& text) {
            EditDesktopRow(id, [&](CMemoRecord& r) { r.SetMemo(text); r.SetStatus(kStatusModified); });
        };
        edit(ids[3], "m4 edited alike");
        edit(ids[4], "m5 desktop version");
        edit(ids[5], "m6 edited on the desktop");
        EditDesktopRow(ids[6], [](CMemoRecord& r) { r.SetStatus(kStatusDeleted); });  // deleted by the user
        edit(ids[7], "m8 edited on the desktop");
        EditDesktopRow(ids[8], [](CMemoRecord& r) { r.SetArchiveBit(1); });         // archived by the user
        EditDesktop([](CMemoTable& t) { AppendRow(t, {0, kStatusAdded, false, "new on the desktop"}); });

        mustSurvive_ = {"m1 edited on the handheld", "m3", "new on the handheld", "m4 edited alike",
                        "m5 handheld version", "m5 desktop version", "m6 edited on the desktop",
                        "m8 edited on the desktop", "m9", "m10 edited, then archived", "m11", "m12",
                        "new on the desktop"};

        start_.databases = handheld.Databases();
        start_.nextId = handheld.NextUniqueId();
        start_.desktopFile = ReadBytes(DesktopFile());
        start_.backupFile = ReadBytes(BackupFile());
    }

    void Restore() {
        // A fresh handheld (its call count starts again at 1) in the same place, so it stays attached.
        handheld = synckit::MemoryHandheld();
        handheld.Databases() = start_.databases;
        handheld.SetNextUniqueId(start_.nextId);
        log.Clear();
        const std::filesystem::path dir = prefix.DriveC() / "Users/Ann/memopad";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::ofstream(DesktopFile(), std::ios::binary) << start_.desktopFile;
        std::ofstream(BackupFile(), std::ios::binary) << start_.backupFile;
    }

    // Every memo text on the three sides after a run.
    std::set<std::string> Everywhere() {
        std::set<std::string> texts;
        for (const auto& text : HandheldTexts()) texts.insert(text);
        for (const auto& text : DesktopTexts()) texts.insert(text);
        for (const auto& text : ArchiveTexts()) texts.insert(text);
        return texts;
    }

    // Checks one finished run against the session's rules and the memos that must survive.
    void CheckRun(int32_t result) {
        // A failed system-information read or registration stops the session before anything is
        // logged or touched.
        if (log.Entries().empty()) {
            EXPECT_NE(result, 0);
            ASSERT_FALSE(handheld.Calls().empty());
            const SyncOp last = handheld.Calls().back().op;
            EXPECT_TRUE(last == SyncOp::ReadSystemInfo || last == SyncOp::RegisterConduit);
            EXPECT_EQ(ReadBytes(DesktopFile()), start_.desktopFile);
            EXPECT_EQ(ReadBytes(BackupFile()), start_.backupFile);
            return;
        }
        EXPECT_EQ(log.Entries().front(), (synckit::LogEntry{"", 19, 0}));
        // The completion entry: 20 only when the result is 0 and neither a count mismatch, a failed
        // save nor a failed flag reset happened.
        bool failedStep = false;
        for (const auto& entry : log.Entries()) failedStep |= entry.kind == 14 || entry.kind == 17;
        for (const auto& call : handheld.Calls()) failedStep |= call.op == SyncOp::ResetSyncFlags && call.result != 0;
        EXPECT_EQ(CompletionKind(), result == 0 && !failedStep ? 20 : 21) << "result " << result;

        // The desktop file is saved exactly when the last record-count query (the count check, whose
        // code takes over the result) answered 0 or "handheld full"; otherwise it stays byte for byte.
        int32_t lastCount = -1;
        for (const auto& call : handheld.Calls())
            if (call.op == SyncOp::GetDBRecordCount) lastCount = call.result;
        const bool saved = lastCount == 0 || IsHandheldFull(lastCount);
        const std::string desktopNow = ReadBytes(DesktopFile());
        if (saved) {
            // (The saved file may hold what it held before, when nothing was settled.) The ".bak"
            // copy, which differed from the desktop file at the start, is now a copy of it.
            ASSERT_NE(start_.backupFile, start_.desktopFile);
            EXPECT_EQ(ReadBytes(BackupFile()), desktopNow) << "result " << result;
        } else {
            EXPECT_EQ(desktopNow, start_.desktopFile) << "result " << result;
            EXPECT_EQ(ReadBytes(BackupFile()), start_.backupFile);
        }
        if (IsCommsError(result)) { EXPECT_FALSE(saved); }

        const std::set<std::string> found = Everywhere();
        for (const auto& text : mustSurvive_) EXPECT_TRUE(found.count(text)) << "lost memo \"" << text << "\"";
    }

    Start start_;
    std::vector<std::string> mustSurvive_;
};

TEST_P(SyncFaultTest, EveryCallFailingLosesNoMemo) {
    const int32_t syncType = GetParam();
    BuildScenario();

    Restore();
    ASSERT_EQ(Sync(syncType), 0);
    EXPECT_EQ(CompletionKind(), 20);
    CheckRun(0);
    const int64_t calls = static_cast<int64_t>(handheld.Calls().size());
    ASSERT_GT(calls, 0);

    int injected = 0;
    for (int64_t i = 1; i <= calls; ++i) {
        for (Fault fault : {Fault::kFailed, Fault::kFull, Fault::kDrop}) {
            Restore();
            if (fault == Fault::kDrop) {
                handheld.Faults().dropConnectionAfter = i - 1;
            } else {
                handheld.Faults().nthCalls.push_back({i, fault == Fault::kFailed ? kSyncErrFailed : kSyncErrMemoryFull});
            }
            const int32_t result = Sync(syncType);
            const auto& record = handheld.Calls();
            const std::string at = static_cast<size_t>(i) <= record.size()
                                       ? synckit::SyncOpName(record[static_cast<size_t>(i - 1)].op)
                                       : "(beyond the run)";
            SCOPED_TRACE(std::string("call ") + std::to_string(i) + " " + at + ", " + FaultName(fault));
            // The faulted call is the one the clean run made at that place: the run is the same up to it.
            ASSERT_GE(record.size(), static_cast<size_t>(i));
            EXPECT_NE(record[static_cast<size_t>(i - 1)].result, 0);
            ++injected;
            CheckRun(result);
        }
    }
    std::cout << "sync type " << syncType << ": clean run K = " << calls << " calls, " << injected
              << " runs with a fault injected\n";
    EXPECT_GT(injected, 0);
}

INSTANTIATE_TEST_SUITE_P(FastAndSlow, SyncFaultTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? std::string("Fast") : std::string("Slow"); });

}  // namespace
