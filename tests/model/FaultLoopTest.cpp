// The fault loop: a rich two-sided scenario is synced once without a fault to learn its K handheld
// calls; then, from the same start, each call is failed four ways (an error once, an error from then
// on for that operation, a full handheld, a dropped connection), and the invariants are checked
// after the faulted sync and after one clean two-way re-sync.
#include <gtest/gtest.h>

#include <iostream>

#include "ModelHarness.h"
#include "synckit/SyncMgr.h"

namespace {

using model::Fault;
using model::Op;
using model::Step;

// Every kind of edit, on both sides, with the memos and categories they pick spread out.
std::vector<Step> RichEdits() {
    const Op ops[] = {Op::kHAdd,     Op::kHEdit,      Op::kHDelete,      Op::kHArchive,      Op::kHMove,
                      Op::kHPrivate, Op::kHCatAdd,    Op::kHCatRename,   Op::kDAdd,          Op::kDEdit,
                      Op::kDDelete,  Op::kDArchive,   Op::kDMove,        Op::kDPrivate,      Op::kDCatAdd,
                      Op::kDCatRename, Op::kBothEdit, Op::kBothEditAlike, Op::kEditAndDelete, Op::kEditAndArchive,
                      Op::kEditAndDelete, Op::kEditAndArchive, Op::kHCatDelete, Op::kDCatDelete, Op::kHAdd, Op::kDAdd};
    std::vector<Step> steps;
    uint32_t k = 0;
    for (Op op : ops) {
        Step s;
        s.op = op;
        s.a = 3 * k + 1;
        s.b = 0x2F1D3 * (k + 1) + (k & 1);  // alternates which side edits in the one-memo-both-sides steps
        steps.push_back(s);
        ++k;
    }
    return steps;
}

class FaultLoopTest : public ::testing::TestWithParam<int32_t> {};

TEST_P(FaultLoopTest, EveryCallFailingFourWaysKeepsTheInvariants) {
    const int32_t syncType = GetParam();
    model::World world;
    model::Intents start;
    ASSERT_EQ(model::StartWorld(world, start, 11, 16), "");
    std::string trace;
    for (const Step& s : RichEdits()) ASSERT_EQ(model::ApplyEdit(world, start, s, &trace), "");
    const model::World::Snapshot snapshot = world.Take();

    // The clean run: its calls are the call points.
    model::Intents cleanIntents = start;
    const model::Before cleanBefore = model::Prepare(world, cleanIntents, syncType);
    const model::SyncRun clean = world.Sync(syncType, {}, Fault::kNone);
    ASSERT_EQ(model::Check(world, cleanIntents, cleanBefore, clean, syncType, Fault::kNone), "") << trace;
    const int64_t k = static_cast<int64_t>(clean.calls.size());
    ASSERT_GT(k, 0);

    int injected = 0;
    for (int64_t n = 1; n <= k; ++n) {
        for (Fault fault : {Fault::kFailOnce, Fault::kFailFromThenOn, Fault::kHandheldFull, Fault::kDrop}) {
            world.Restore(snapshot);
            model::Intents intents = start;
            const std::string at = synckit::SyncOpName(clean.calls[static_cast<size_t>(n - 1)].op);
            SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(k) + " (" + at + "), " +
                         model::FaultName(fault));
            const model::Before before = model::Prepare(world, intents, syncType);
            const model::SyncRun run = world.Sync(syncType, model::PlanFor(fault, n, clean.calls), fault);
            // The run is the clean one up to the faulted call, which answered the planned code.
            ASSERT_GE(run.calls.size(), static_cast<size_t>(n));
            ASSERT_EQ(run.calls[static_cast<size_t>(n - 1)].op, clean.calls[static_cast<size_t>(n - 1)].op);
            EXPECT_NE(run.calls[static_cast<size_t>(n - 1)].result, 0);
            ++injected;
            EXPECT_EQ(model::Check(world, intents, before, run, syncType, fault), "");
            model::Settle(intents, before, run);

            // One clean two-way re-sync, as the sync host chooses it: fast after a sync that succeeded
            // and saved the desktop file, else slow.
            const int32_t again = run.desktopSaved && run.result == 0 ? 0 : 1;
            const model::Before beforeAgain = model::Prepare(world, intents, again);
            const model::SyncRun resync = world.Sync(again, {}, Fault::kNone);
            EXPECT_EQ(model::Check(world, intents, beforeAgain, resync, again, Fault::kNone), "")
                << "re-sync type " << again;
        }
    }
    std::cout << "sync type " << syncType << ": K = " << k << " call points, " << injected
              << " runs with a fault injected\n";
    EXPECT_GT(injected, 0);
}

std::string SyncTypeName(const ::testing::TestParamInfo<int32_t>& info) {
    static const char* const names[] = {"Fast", "Slow", "HandheldToDesktop", "DesktopToHandheld"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(AllSyncTypes, FaultLoopTest, ::testing::Values(0, 1, 2, 3), SyncTypeName);

}  // namespace
