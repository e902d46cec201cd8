// The model-based randomized test of the memo sync: a fixed budget of seeded scenarios, each checked
// against the invariants after every sync; a failing seed is shrunk and printed with its steps.
#include <gtest/gtest.h>

#include <algorithm>

#include "ModelHarness.h"
#include "synckit/SyncMgr.h"

namespace {

constexpr uint64_t kSeeds = 200;
constexpr int kSyncsPerSeed = 4;

TEST(ModelSync, SeededScenariosKeepEveryInvariant) {
    int failing = 0;
    for (uint64_t seed = 1; seed <= kSeeds; ++seed) {
        const model::Scenario scenario = model::Generate(seed, kSyncsPerSeed);
        const auto failure = model::Run(scenario);
        if (!failure) continue;
        if (++failing <= 3) {
            const model::Scenario small = model::Shrink(scenario);
            const auto again = model::Run(small);
            ADD_FAILURE() << model::Describe(small, again ? *again : *failure);
        } else {
            ADD_FAILURE() << "seed " << seed << ": " << failure->what;
        }
    }
}

// The checker itself must see a lost memo and a stray log line: a memo removed behind the sync's
// back, and a log entry that is none of the conduit's texts.
TEST(ModelSync, CheckerSeesALostMemoAndAStrayLogLine) {
    model::World world;
    model::Intents intents;
    ASSERT_EQ(model::StartWorld(world, intents, 7, 5), "");
    const model::Before before = model::Prepare(world, intents, 0);
    model::SyncRun run = world.Sync(0, {}, model::Fault::kNone);
    ASSERT_EQ(model::Check(world, intents, before, run, 0, model::Fault::kNone), "");

    const model::Before again = model::Prepare(world, intents, 0);
    world.Db().records.erase(world.Db().records.begin());
    CMemoTable table;
    ASSERT_TRUE(world.LoadDesktop(table));
    table.PurgeAllRecords();
    ASSERT_TRUE(world.SaveDesktop(table));
    run = world.Sync(0, {}, model::Fault::kNone);
    EXPECT_NE(model::Check(world, intents, again, run, 0, model::Fault::kNone).find("lost memo"), std::string::npos);

    EXPECT_EQ(model::CheckLog({{"   - Could not save the Desktop file.", 17, 0}}, intents), "");
    EXPECT_NE(model::CheckLog({{"   - Could not save the desktop file", 17, 0}}, intents), "");
    EXPECT_NE(model::CheckLog({{"       not a memo of this scenario", -1, 0}}, intents), "");
}

}  // namespace

namespace {

// A desktop edit the full handheld refused (the write answers 16404) survives the count repair: the
// desktop delete that the handheld refused too leaves the handheld with more records, and emptying
// the desktop to copy the handheld back would drop the refused edit.
TEST(ModelSync, EditRefusedByAFullHandheldSurvivesTheCountRepair) {
    model::World world;
    model::Intents intents;
    ASSERT_EQ(model::StartWorld(world, intents, 3, 3), "");
    CMemoTable table;
    ASSERT_TRUE(world.LoadDesktop(table));
    CBaseIterator walk(table);
    CMemoRecord row(table, 0);
    // The desktop application's edits, recorded as the user's intents (LF line ends).
    std::string old;
    ASSERT_EQ(walk.FindFirst(row, 0), 0);
    row.GetMemo(old);
    std::erase(old, '\r');
    intents.editedOnDesktop.insert(old);
    row.SetMemo("kept although the handheld is full");
    row.SetStatus(kStatusModified);
    ASSERT_EQ(walk.FindNext(row, 0), 0);
    row.GetMemo(old);
    std::erase(old, '\r');
    intents.deletedOnDesktop.insert(old);
    row.SetStatus(kStatusDeleted);
    ASSERT_TRUE(world.SaveDesktop(table));
    intents.known.insert("kept although the handheld is full");

    synckit::FaultPlan full;
    full.everyCallOf = {{synckit::SyncOp::WriteRec, kSyncErrMemoryFull}, {synckit::SyncOp::DeleteRec, kSyncErrMemoryFull}};
    const model::Before before = model::Prepare(world, intents, 0);
    const model::SyncRun run = world.Sync(0, full, model::Fault::kHandheldFull);
    EXPECT_EQ(model::Check(world, intents, before, run, 0, model::Fault::kHandheldFull), "");
    std::vector<model::Memo> desktop;
    ASSERT_TRUE(world.DesktopMemos(desktop));
    EXPECT_TRUE(std::any_of(desktop.begin(), desktop.end(), [](const model::Memo& m) {
        return m.text == "kept although the handheld is full" && m.status == kStatusModified;
    }));

    // With room again the edit reaches the handheld and both sides are in step.
    const model::Before again = model::Prepare(world, intents, 0);
    const model::SyncRun clean = world.Sync(0, {}, model::Fault::kNone);
    EXPECT_EQ(model::Check(world, intents, again, clean, 0, model::Fault::kNone), "");
    const auto handheld = world.HandheldMemos();
    EXPECT_TRUE(std::any_of(handheld.begin(), handheld.end(),
                            [](const model::Memo& m) { return m.text == "kept although the handheld is full"; }));
}

}  // namespace
