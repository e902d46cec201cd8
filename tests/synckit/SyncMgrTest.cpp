// The Sync Manager functions: each reaches the attached handheld's own operation, none works without
// one, and the record buffers are allocated zero-filled and freed by their size.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <set>
#include <string>

#include "SyncTestSupport.h"
#include "synckit/Handheld.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"
#include "Unpacked.h"

using namespace synckit;

// Lets a test make the next nothrow array allocation fail, as AllocRecordBuffer would see it when
// memory runs out. Only the nothrow array form is replaced; everything else allocates as usual.
namespace {
bool failNextNothrowArrayNew = false;
}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (failNextNothrowArrayNew) {
        failNextNothrowArrayNew = false;
        return nullptr;
    }
    // What the library's own nothrow form does: the throwing form, with failure turned into null.
    try {
        return ::operator new[](size);
    } catch (...) {
        return nullptr;
    }
}

namespace {

// Every Sync Manager function once, with the operation it must reach.
struct Forwarded {
    SyncOp op;
    std::function<int32_t()> call;
};
std::vector<Forwarded> EveryFunction(uint8_t handle) {
    static uint8_t buffer[64];
    static uint32_t ids[4];
    auto raw = [handle] {
        RawRecord r{};
        r.dbHandle = handle;
        r.buffer = buffer;
        r.bufferSize = sizeof buffer;
        return r;
    };
    return {
        {SyncOp::RegisterConduit, [] { ConduitHandle h = 0; return SyncRegisterConduit(h); }},
        {SyncOp::UnRegisterConduit, [] { return SyncUnRegisterConduit(1); }},
        {SyncOp::ReadSystemInfo, [] { HandheldSystemInfo i{}; return SyncReadSystemInfo(i); }},
        {SyncOp::OpenDB, [] { uint8_t h = 0; return SyncOpenDB("Other", 0, h, kOpenModeReadWrite); }},
        {SyncOp::CreateDB, [] { DbCreateBlock b{}; std::strcpy(b.name, "New"); return SyncCreateDB(b); }},
        {SyncOp::ResetSyncFlags, [handle] { return SyncResetSyncFlags(handle); }},
        {SyncOp::GetDBRecordCount, [handle] { uint16_t n = 0; return SyncGetDBRecordCount(handle, n); }},
        {SyncOp::ReadRecordByIndex, [raw] { RawRecord r = raw(); return SyncReadRecordByIndex(r); }},
        {SyncOp::ReadRecordById, [raw] { RawRecord r = raw(); return SyncReadRecordById(r); }},
        {SyncOp::ReadNextModifiedRec, [raw] { RawRecord r = raw(); return SyncReadNextModifiedRec(r); }},
        {SyncOp::WriteRec, [raw] { RawRecord r = raw(); r.dataSize = 1; return SyncWriteRec(r); }},
        {SyncOp::DeleteRec, [raw] { RawRecord r = raw(); return SyncDeleteRec(r); }},
        {SyncOp::PurgeDeletedRecs, [handle] { return SyncPurgeDeletedRecs(handle); }},
        {SyncOp::PurgeAllRecs, [handle] { return SyncPurgeAllRecs(handle); }},
        {SyncOp::ReadAppInfo, [handle] { AppInfoBlock b{}; b.buffer = buffer; b.bufferSize = 64; return SyncReadDBAppInfoBlock(handle, b); }},
        {SyncOp::WriteAppInfo, [handle] { AppInfoBlock b{}; b.buffer = buffer; b.bufferSize = 4; return SyncWriteDBAppInfoBlock(handle, b); }},
        {SyncOp::ChangeCategory, [handle] { return SyncChangeCategory(handle, 1, 0); }},
        {SyncOp::ReadPositionMap, [handle] { PositionMap m{handle, 0, 4, 0, 16, ids}; return SyncReadPositionXMap(m); }},
        {SyncOp::YieldCycles, [] { return SyncYieldCycles(1); }},
        {SyncOp::CloseDB, [handle] { return SyncCloseDB(handle); }},
    };
}

TEST(SyncMgrTest, EveryFunctionReachesItsOperationOnTheAttachedHandheld) {
    MemoryHandheld hh;
    hh.AddDatabase("MemoDB", 1, 2);
    hh.AddDatabase("Other", 1, 2);
    ScopedHandheld attach(hh);
    uint8_t handle = 0;
    ASSERT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), kSyncErrNone);
    // A planned code per operation proves the answer came from the handheld's operation itself.
    const std::vector<Forwarded> functions = EveryFunction(handle);
    ASSERT_EQ(functions.size(), static_cast<size_t>(kSyncOpCount));
    for (const Forwarded& f : functions) {
        SCOPED_TRACE(SyncOpName(f.op));
        const int32_t code = 17000 + static_cast<int32_t>(f.op);
        hh.Faults().everyCallOf = {{f.op, code}};
        const size_t before = hh.Calls().size();
        EXPECT_EQ(f.call(), code);
        ASSERT_EQ(hh.Calls().size(), before + 1);
        EXPECT_EQ(hh.Calls().back().op, f.op);
        hh.Faults().everyCallOf.clear();
        const int32_t answer = f.call();
        EXPECT_EQ(answer, hh.Calls().back().result);  // and without a fault, the handheld's own answer
        EXPECT_NE(answer, code);
    }
}

TEST(SyncMgrTest, WithoutAHandheldEveryFunctionFailsAsALostConnection) {
    ASSERT_EQ(AttachedHandheld(), nullptr);
    for (const Forwarded& f : EveryFunction(1)) {
        SCOPED_TRACE(SyncOpName(f.op));
        const int32_t code = f.call();
        EXPECT_EQ(code, kSyncErrNoHandheld);
        EXPECT_NE(code & kSyncCommsBit, 0);
    }
    uint8_t handle = 0x33;
    EXPECT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), kSyncErrNoHandheld);
    EXPECT_EQ(handle, 0x33);
}

TEST(SyncMgrTest, ScopedHandheldRestoresThePreviousOne) {
    MemoryHandheld outer, inner;
    {
        ScopedHandheld a(outer);
        {
            ScopedHandheld b(inner);
            EXPECT_EQ(AttachedHandheld(), &inner);
            EXPECT_EQ(SyncYieldCycles(1), kSyncErrNone);
        }
        EXPECT_EQ(AttachedHandheld(), &outer);
    }
    EXPECT_EQ(AttachedHandheld(), nullptr);
    EXPECT_EQ(inner.CallCount(), 1);
    EXPECT_EQ(outer.CallCount(), 0);
}

TEST(SyncMgrTest, OperationNamesAreDistinct) {
    std::set<std::string> names;
    for (int i = 0; i < kSyncOpCount; ++i) names.insert(SyncOpName(static_cast<SyncOp>(i)));
    EXPECT_EQ(names.size(), static_cast<size_t>(kSyncOpCount));
    EXPECT_STREQ(SyncOpName(SyncOp::ReadNextModifiedRec), "ReadNextModifiedRec");
}

TEST(SyncMgrTest, AllocRecordBufferGivesAZeroFilledBufferOfTheSize) {
    // Dirty a block first, so a reused block would show if the new buffer were not zeroed.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        RawRecord rec{};
        ASSERT_EQ(AllocRecordBuffer(rec, kRecordBufferSize), 0);
        ASSERT_NE(tervano::test::Unpacked(rec.buffer), nullptr);
        EXPECT_EQ(tervano::test::Unpacked(rec.bufferSize), 4480);
        for (size_t i = 0; i < kRecordBufferSize; ++i) ASSERT_EQ(rec.buffer[i], 0) << "byte " << i;
        std::memset(rec.buffer, 0xA5, kRecordBufferSize);
        FreeRecordBuffer(rec);
        EXPECT_EQ(tervano::test::Unpacked(rec.buffer), nullptr);
        EXPECT_EQ(tervano::test::Unpacked(rec.bufferSize), 0);
    }
}

TEST(SyncMgrTest, AllocRecordBufferReports4106WhenMemoryRunsOut) {
    RawRecord rec{};
    failNextNothrowArrayNew = true;
    EXPECT_EQ(AllocRecordBuffer(rec, kRecordBufferSize), kAllocRecordBufferFailed);
    EXPECT_EQ(kAllocRecordBufferFailed, 4106);
    EXPECT_EQ(tervano::test::Unpacked(rec.bufferSize), 0);
    EXPECT_EQ(tervano::test::Unpacked(rec.buffer), nullptr);
    FreeRecordBuffer(rec);  // nothing to free, and no harm

    // A buffer of no bytes would never be freed, so it is refused too.
    EXPECT_EQ(AllocRecordBuffer(rec, 0), kAllocRecordBufferFailed);
    EXPECT_EQ(tervano::test::Unpacked(rec.buffer), nullptr);
}

TEST(SyncMgrTest, FreeRecordBufferLeavesABufferWithoutSizeAlone) {
    // The buffer is not one FreeRecordBuffer may delete: with size 0 it must not try.
    uint8_t foreign[8] = {1, 2, 3};
    RawRecord rec{};
    rec.buffer = foreign;
    rec.bufferSize = 0;
    FreeRecordBuffer(rec);
    EXPECT_EQ(tervano::test::Unpacked(rec.buffer), nullptr);
    EXPECT_EQ(foreign[2], 3);
}

}  // namespace
