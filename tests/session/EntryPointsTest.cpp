// The entry points: OpenConduit's dispatch and its early refusals, the configuration dialog's
// mapping of sync types and actions, the conduit name and version.
#include <gtest/gtest.h>

#include <cstring>

#include "SessionTestSupport.h"
#include "synckit/ActionDialog.h"
#include "Unpacked.h"

using namespace session_test;
using synckit::SyncOp;

namespace {

class OpenConduitTest : public SessionFixture {};

TEST_F(OpenConduitTest, NullCallbackIsRefusedWithoutAnySyncManagerCall) {
    HotSyncProperties p = MemoProperties(0);
    EXPECT_EQ(ConduitOpen(nullptr, p), -1);
    EXPECT_TRUE(handheld.Calls().empty());
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(OpenConduitTest, UnsupportedSyncTypesLeaveNoTraceOnTheHandheldOrInTheLog) {
    const struct { int32_t type; int32_t result; } cases[] = {
        {4, -1}, {5, -1}, {7, -1}, {6, 4114}, {8, 4114}, {-1, 4114}, {1000, 4114},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        handheld.ClearCalls();
        HotSyncProperties p = MemoProperties(c.type);
        EXPECT_EQ(ConduitOpen(QuietProgress, p), c.result);
        // Only the system information was read; the database was never opened.
        ASSERT_EQ(handheld.Calls().size(), 1u);
        EXPECT_EQ(handheld.Calls()[0].op, SyncOp::ReadSystemInfo);
        EXPECT_TRUE(log.Entries().empty());
    }
}

TEST_F(OpenConduitTest, FailingSystemInfoReadIsReturnedAndNothingIsLogged) {
    handheld.Faults().everyCallOf.push_back({SyncOp::ReadSystemInfo, 16385});
    HotSyncProperties p = MemoProperties(0);
    EXPECT_EQ(ConduitOpen(QuietProgress, p), 16385);
    EXPECT_EQ(handheld.Calls().size(), 1u);
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(OpenConduitTest, RegisterFailureThroughOpenConduitLeavesNoLogEntry) {
    handheld.Faults().everyCallOf.push_back({SyncOp::RegisterConduit, 16391});
    HotSyncProperties p = MemoProperties(1);
    EXPECT_EQ(ConduitOpen(QuietProgress, p), 16391);
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(OpenConduitTest, SessionIsPreparedFromTheCallerBlocks) {
    HotSyncProperties p = MemoProperties(1);
    p.firstSyncIndicator = 2;
    std::memcpy(p.reserved930, "carried", 7);  // bytes the conduit does not interpret
    ScriptedMonitor session(p);
    EXPECT_EQ(std::memcmp(&session.Properties(), &p, sizeof p), 0);  // copied whole
    EXPECT_EQ(session.DatabaseCount(), 1);
    EXPECT_EQ(session.CurrentDatabaseIndex(), 0);
    EXPECT_EQ(session.Progress(), &QuietProgress);
    EXPECT_NE(session.Converter(), nullptr);
    EXPECT_EQ(session.DesktopTable(), nullptr);
    EXPECT_EQ(session.HandheldCategories(), nullptr);
    EXPECT_EQ(session.Module(), ConduitModule());
    EXPECT_EQ(tervano::test::Unpacked(session.SystemInfo().romSoftVersion), 0u);
    EXPECT_EQ(tervano::test::Unpacked(session.SystemInfo().productIdSize), 255);
    ASSERT_NE(tervano::test::Unpacked(session.SystemInfo().productId), nullptr);
    // The product-id buffer really holds 255 bytes: the handheld may fill all of them.
    handheld.SetProductId(std::string(300, 'p'));
    EXPECT_EQ(SyncReadSystemInfo(session.SystemInfo()), 0);
    EXPECT_EQ(session.SystemInfo().productId[254], 'p');
}

TEST(ConfigureMappingTest, InitialActionBySyncTypeAndSyncTypeByAction) {
    const struct { int32_t type; int action; } actions[] = {
        {0, 0}, {1, 0}, {2, 2}, {3, 1}, {4, 3}, {5, 3}, {6, 3}, {7, 3}, {-1, 3}, {INT32_MIN, 3},
    };
    for (const auto& c : actions) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(ActionForSyncType(c.type), c.action);
    }
    const struct { int action; int32_t type; } types[] = {{0, 0}, {1, 3}, {2, 2}, {3, 6}, {4, 6}, {-1, 6}};
    for (const auto& c : types) {
        SCOPED_TRACE(c.action);
        EXPECT_EQ(SyncTypeForAction(c.action), c.type);
    }
}

TEST(ConfigureConduitTest, DialogOutcomesSetSyncTypeAndPreferenceKind) {
    ConduitModuleInit();
    struct Case {
        const char* name;
        int32_t typeOnEntry;
        synckit::ScriptedActionResponder responder;
        int shownAction;
        int32_t result;
        int32_t kind;
        int32_t typeAfter;
    };
    Case cases[] = {
        {"slow sync accepted unchanged, flag set", 1, synckit::ScriptedActionResponder::KeepAndAccept(1), 0, 0, 1, 0},
        {"slow sync accepted unchanged, flag clear", 1, synckit::ScriptedActionResponder::KeepAndAccept(0), 0, 0, 2, 0},
        {"type 5 opens on do nothing", 5, synckit::ScriptedActionResponder::KeepAndAccept(0), 3, 0, 2, 6},
        {"handheld overwrites desktop chosen", 0, synckit::ScriptedActionResponder::Accept(2, 1), 0, 0, 1, 2},
        {"desktop overwrites handheld chosen", 2, synckit::ScriptedActionResponder::Accept(1, 0), 2, 0, 2, 3},
        {"type 3 shown as action 1", 3, synckit::ScriptedActionResponder::KeepAndAccept(1), 1, 0, 1, 3},
        {"cancelled", 3, synckit::ScriptedActionResponder::Cancel(), 1, -1, 0, 3},
        {"negative type cancelled", -7, synckit::ScriptedActionResponder::Cancel(), 3, -1, 0, -7},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        synckit::ScopedActionDialogResponder attach(c.responder);
        ConduitPreference pref{};
        std::memset(pref.reserved0, 0x5A, sizeof pref.reserved0);
        pref.preferenceKind = 9;  // always written
        pref.syncType = c.typeOnEntry;
        EXPECT_EQ(ConduitConfigure(pref), c.result);
        EXPECT_EQ(c.responder.timesShown, 1);
        EXPECT_EQ(c.responder.shownWithAction, c.shownAction);
        EXPECT_EQ(c.responder.shownWithName, "Memo Pad");
        EXPECT_EQ(tervano::test::Unpacked(pref.preferenceKind), c.kind);
        EXPECT_EQ(tervano::test::Unpacked(pref.syncType), c.typeAfter);
        for (uint8_t b : pref.reserved0) ASSERT_EQ(b, 0x5A);  // nothing else is touched
    }
}

TEST(ConduitNameTest, NameIsCutToTheBufferAndVersionIs257) {
    ConduitModuleInit();
    const struct { uint16_t size; const char* expected; } cases[] = {
        {80, "Memo Pad"}, {9, "Memo Pad"}, {8, "Memo Pa"}, {5, "Memo"}, {1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        char buffer[100];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(ConduitGetName(buffer, c.size), 0);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(buffer[c.size], '#');  // nothing past the given size
    }
    char one = 'x';
    EXPECT_EQ(ConduitGetName(&one, 0), -1);  // nothing can be placed
    EXPECT_EQ(one, 'x');
    EXPECT_EQ(ConduitGetName(nullptr, 10), -1);
    EXPECT_EQ(ConduitGetVersion(), 257);
}

}  // namespace
