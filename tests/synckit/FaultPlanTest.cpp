// The fault plan of the in-memory handheld: which calls fail, with what, and that a failed call
// changes nothing; and the record of calls that tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "SyncTestSupport.h"
#include "synckit/Handheld.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"
#include "Unpacked.h"

using namespace synckit;
using synckit_test::RecordBlock;
using synckit_test::SameContent;

namespace {

// A handheld with MemoDB open (call 1) holding two records, ready for the script.
struct Rig {
    MemoryHandheld hh;
    ScopedHandheld attach{hh};
    uint8_t handle = 0;
    uint32_t keptId = 0;
    uint32_t doomedId = 0;

    Rig() {
        HandheldDatabase& db = hh.AddDatabase("MemoDB", 1, 2);
        keptId = hh.AddRecord(db, "kept", kRecAttrDirty, 1);
        doomedId = hh.AddRecord(db, "doomed", 0, 1);
        EXPECT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), kSyncErrNone);
    }
    HandheldDatabase& Memo() { return *hh.FindDatabase("MemoDB"); }
};

// The script, calls 2 to 9; each step is one Sync Manager call.
using Step = std::function<int32_t(Rig&)>;
int32_t WriteNew(Rig& rig, const char* text) {
    RecordBlock rec(rig.handle);
    rec.SetData(text);
    return SyncWriteRec(rec.raw);
}
const std::vector<Step>& Script() {
    static const std::vector<Step> steps = {
        [](Rig& r) { return WriteNew(r, "a"); },                                   // call 2
        [](Rig& r) { return WriteNew(r, "b"); },                                   // call 3
        [](Rig&) { return SyncYieldCycles(1); },                                   // call 4
        [](Rig& r) { return WriteNew(r, "c"); },                                   // call 5
        [](Rig& r) { RecordBlock rec(r.handle); rec.raw.recordId = r.doomedId; return SyncDeleteRec(rec.raw); },  // 6
        [](Rig& r) { return SyncChangeCategory(r.handle, 1, 0); },                 // call 7
        [](Rig& r) { return SyncResetSyncFlags(r.handle); },                       // call 8
        [](Rig& r) { return WriteNew(r, "d"); },                                   // call 9
    };
    return steps;
}
constexpr int64_t kFirstScriptCall = 2;

// Runs the script and returns each call's result.
std::vector<int32_t> RunScript(Rig& rig) {
    std::vector<int32_t> results;
    for (const Step& step : Script()) results.push_back(step(rig));
    return results;
}

// The same script on a fault-free handheld, leaving out the calls given: what the faulted run must
// end with, since a faulted call does nothing.
void RunModel(Rig& model, const std::set<int64_t>& skippedCalls) {
    for (size_t i = 0; i < Script().size(); ++i) {
        if (skippedCalls.count(kFirstScriptCall + static_cast<int64_t>(i)) == 0) {
            ASSERT_EQ(Script()[i](model), kSyncErrNone) << "model call " << kFirstScriptCall + i;
        }
    }
}

struct FaultCase {
    const char* name;
    std::function<void(FaultPlan&)> plan;
    std::map<int64_t, int32_t> failing;  // call number -> the code it answers
    bool connected;
};

TEST(FaultPlanTest, EachKindFailsExactlyThePlannedCallsAndChangesNothing) {
    const FaultCase cases[] = {
        {"the nth call overall", [](FaultPlan& p) { p.nthCalls.push_back({3, kSyncErrMemoryFull}); },
         {{3, kSyncErrMemoryFull}}, true},
        {"every call of one operation",
         [](FaultPlan& p) { p.everyCallOf.push_back({SyncOp::WriteRec, kSyncErrNoSpace}); },
         {{2, kSyncErrNoSpace}, {3, kSyncErrNoSpace}, {5, kSyncErrNoSpace}, {9, kSyncErrNoSpace}}, true},
        {"the nth call of one operation",
         [](FaultPlan& p) { p.nthCallsOf.push_back({SyncOp::WriteRec, 3, kSyncErrFailed}); },
         {{5, kSyncErrFailed}}, true},
        {"a planned yield failure", [](FaultPlan& p) { p.everyCallOf.push_back({SyncOp::YieldCycles, 16385}); },
         {{4, 16385}}, true},
        {"the connection dropped after 5 calls", [](FaultPlan& p) { p.dropConnectionAfter = 5; },
         {{6, kSyncErrLinkLost}, {7, kSyncErrLinkLost}, {8, kSyncErrLinkLost}, {9, kSyncErrLinkLost}}, false},
        {"dropped at once", [](FaultPlan& p) { p.dropConnectionAfter = 1; },
         {{2, kSyncErrLinkLost}, {3, kSyncErrLinkLost}, {4, kSyncErrLinkLost}, {5, kSyncErrLinkLost},
          {6, kSyncErrLinkLost}, {7, kSyncErrLinkLost}, {8, kSyncErrLinkLost}, {9, kSyncErrLinkLost}}, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::set<int64_t> skipped;
        for (const auto& [n, code] : c.failing) skipped.insert(n);
        Rig model;
        RunModel(model, skipped);

        Rig rig;
        c.plan(rig.hh.Faults());
        const std::vector<int32_t> results = RunScript(rig);
        ASSERT_EQ(rig.hh.Calls().size(), kFirstScriptCall - 1 + results.size());
        for (size_t i = 0; i < results.size(); ++i) {
            const int64_t n = kFirstScriptCall + static_cast<int64_t>(i);
            const auto it = c.failing.find(n);
            EXPECT_EQ(results[i], it == c.failing.end() ? kSyncErrNone : it->second) << "call " << n;
            // The record of calls carries the same answer.
            EXPECT_EQ(rig.hh.Calls()[n - 1].result, results[i]) << "call " << n;
        }
        EXPECT_TRUE(SameContent(rig.Memo(), model.Memo()));
        EXPECT_EQ(rig.hh.NextUniqueId(), model.hh.NextUniqueId());
        EXPECT_EQ(rig.hh.Connected(), c.connected);
        EXPECT_EQ(rig.hh.CallCount(), kFirstScriptCall - 1 + static_cast<int64_t>(Script().size()));
    }
}

TEST(FaultPlanTest, FailingAnyOneCallChangesNothingButThatCall) {
    // Fail call N for every N of the script: each time the handheld must equal the model without it.
    for (int64_t n = kFirstScriptCall; n < kFirstScriptCall + static_cast<int64_t>(Script().size()); ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        Rig model;
        RunModel(model, {n});
        Rig rig;
        rig.hh.Faults().nthCalls.push_back({n, kSyncErrMemoryFull});
        const std::vector<int32_t> results = RunScript(rig);
        EXPECT_EQ(results[static_cast<size_t>(n - kFirstScriptCall)], kSyncErrMemoryFull);
        EXPECT_EQ(std::count(results.begin(), results.end(), kSyncErrMemoryFull), 1);
        EXPECT_TRUE(SameContent(rig.Memo(), model.Memo()));
    }
}

TEST(FaultPlanTest, AFaultedCallLeavesItsOutParametersAlone) {
    Rig rig;
    rig.hh.Faults().everyCallOf = {{SyncOp::ReadRecordByIndex, kSyncErrFailed},
                                   {SyncOp::WriteRec, kSyncErrFailed},
                                   {SyncOp::OpenDB, kSyncErrFailed},
                                   {SyncOp::GetDBRecordCount, kSyncErrFailed},
                                   {SyncOp::ReadPositionMap, kSyncErrFailed}};
    RecordBlock rec(rig.handle, 16);
    std::memset(rec.raw.buffer, '#', 16);
    rec.raw.recordIndex = 0;
    EXPECT_EQ(SyncReadRecordByIndex(rec.raw), kSyncErrFailed);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rec.raw.buffer), 16), std::string(16, '#'));
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), 0u);
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.dataSize), 0u);

    rec.SetData("x");
    EXPECT_EQ(SyncWriteRec(rec.raw), kSyncErrFailed);
    EXPECT_EQ(tervano::test::Unpacked(rec.raw.recordId), 0u);

    uint8_t handle = 0x42;
    EXPECT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), kSyncErrFailed);
    EXPECT_EQ(handle, 0x42);
    uint16_t count = 0x4242;
    EXPECT_EQ(SyncGetDBRecordCount(rig.handle, count), kSyncErrFailed);
    EXPECT_EQ(count, 0x4242);
    uint32_t ids[2] = {7, 7};
    PositionMap map{rig.handle, 0, 2, 9, 8, ids};
    EXPECT_EQ(SyncReadPositionXMap(map), kSyncErrFailed);
    EXPECT_EQ(tervano::test::Unpacked(map.entriesReturned), 9);
    EXPECT_EQ(ids[0], 7u);
    EXPECT_EQ(rig.hh.RecordsRead(), 0);
    EXPECT_EQ(rig.hh.RecordsWritten(), 0);
}

TEST(FaultPlanTest, ADroppedConnectionAnswersACommsCodeForEveryLaterCall) {
    Rig rig;
    rig.hh.Faults().dropConnectionAfter = 2;
    EXPECT_TRUE(rig.hh.Connected());
    EXPECT_EQ(SyncYieldCycles(1), kSyncErrNone);  // call 2: the last to get through
    EXPECT_FALSE(rig.hh.Connected());

    // Every kind of call now fails with a connection code and does nothing.
    const std::vector<std::function<int32_t()>> later = {
        [&] { ConduitHandle h = 0; return SyncRegisterConduit(h); },
        [&] { uint16_t n = 0; return SyncGetDBRecordCount(rig.handle, n); },
        [&] { RecordBlock r(rig.handle); return SyncReadNextModifiedRec(r.raw); },
        [&] { return WriteNew(rig, "lost"); },
        [&] { RecordBlock r(rig.handle); r.raw.recordId = rig.doomedId; return SyncDeleteRec(r.raw); },
        [&] { return SyncPurgeAllRecs(rig.handle); },
        [&] { return SyncResetSyncFlags(rig.handle); },
        [&] { return SyncCloseDB(rig.handle); },
    };
    for (size_t i = 0; i < later.size(); ++i) {
        const int32_t code = later[i]();
        EXPECT_EQ(code, kSyncErrLinkLost) << "later call " << i;
        EXPECT_NE(code & kSyncCommsBit, 0) << "later call " << i;
    }
    EXPECT_EQ(rig.Memo().records.size(), 2u);
    EXPECT_EQ(rig.Memo().records[0].attributes, kRecAttrDirty);
    EXPECT_FALSE(rig.hh.Registered());
    EXPECT_EQ(rig.hh.OpenCount(), 1u);

    // The record of calls shows every refused call, and a changed plan does not mend the link.
    ASSERT_EQ(rig.hh.Calls().size(), 2 + later.size());
    for (size_t i = 2; i < rig.hh.Calls().size(); ++i) EXPECT_EQ(rig.hh.Calls()[i].result, kSyncErrLinkLost);
    EXPECT_EQ(rig.hh.Calls()[2].op, SyncOp::RegisterConduit);
    rig.hh.Faults().dropConnectionAfter = -1;
    EXPECT_EQ(SyncYieldCycles(1), kSyncErrLinkLost);
    EXPECT_FALSE(rig.hh.Connected());
}

TEST(FaultPlanTest, CallsAreRecordedWithHandleIdAndResult) {
    Rig rig;
    RecordBlock rec(rig.handle);
    rec.raw.recordId = rig.keptId;
    ASSERT_EQ(SyncReadRecordById(rec.raw), kSyncErrNone);
    rec.raw.recordId = 0x00FEDCBA;
    EXPECT_EQ(SyncDeleteRec(rec.raw), kSyncErrNotFound);
    ASSERT_EQ(SyncCloseDB(rig.handle), kSyncErrNone);

    const std::vector<RecordedCall>& calls = rig.hh.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, SyncOp::OpenDB);
    EXPECT_EQ(calls[0].dbHandle, rig.handle);  // the handle the open gave
    EXPECT_EQ(calls[1].op, SyncOp::ReadRecordById);
    EXPECT_EQ(calls[1].recordId, rig.keptId);
    EXPECT_EQ(calls[2].op, SyncOp::DeleteRec);
    EXPECT_EQ(calls[2].recordId, 0x00FEDCBAu);
    EXPECT_EQ(calls[2].result, kSyncErrNotFound);
    EXPECT_EQ(calls[3].op, SyncOp::CloseDB);
    EXPECT_EQ(calls[3].dbHandle, rig.handle);
    EXPECT_EQ(rig.hh.CountCalls(SyncOp::DeleteRec), 1u);
    EXPECT_EQ(rig.hh.CountCalls(SyncOp::WriteRec), 0u);

    // Clearing the record keeps the count, so planned call numbers stay meaningful.
    rig.hh.ClearCalls();
    EXPECT_TRUE(rig.hh.Calls().empty());
    EXPECT_EQ(rig.hh.CallCount(), 4);
}

}  // namespace
