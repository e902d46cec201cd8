// The sync host's decisions before a HotSync, as a table of situations, and the user folder names
// that keep every user inside C:\Pilot\.
#include <gtest/gtest.h>

#include "host/SyncPlan.h"
#include "host/UserPaths.h"

namespace {

using host::SyncFacts;

constexpr uint32_t kHere = 0x1234;
constexpr uint32_t kElsewhere = 0x9999;

struct PlanCase {
    const char* story;
    SyncFacts facts;
    int32_t syncType;
    int32_t firstSync;
};

SyncFacts Facts(bool desktopFile, uint32_t lastDesktop, std::optional<int32_t> requested = {},
                std::optional<int32_t> chosen = {}) {
    return SyncFacts{desktopFile, lastDesktop, kHere, requested, chosen};
}

const PlanCase kPlanCases[] = {
    {"the usual HotSync: last synced here, desktop file present", Facts(true, kHere), host::kSyncFast, 0},
    {"a new user's first HotSync: the handheld's categories win", Facts(false, kHere), host::kSyncSlow, 1},
    {"a fresh handheld and a new user", Facts(false, 0), host::kSyncSlow, 1},
    {"a new or reset handheld receiving this user's data: the desktop's categories win", Facts(true, 0),
     host::kSyncSlow, 2},
    {"a used handheld meeting this desktop: nobody's categories are thrown away", Facts(true, kElsewhere),
     host::kSyncSlow, 0},
    {"--sync wins over everything", Facts(true, kHere, host::kSyncDesktopToHandheld, host::kSyncHandheldToDesktop),
     host::kSyncDesktopToHandheld, 0},
    {"a chosen whole copy", Facts(true, kHere, {}, host::kSyncHandheldToDesktop), host::kSyncHandheldToDesktop, 0},
    {"a chosen \"synchronize\" still picks slow when it must", Facts(true, kElsewhere, {}, host::kSyncFast),
     host::kSyncSlow, 0},
    {"a chosen \"do nothing\"", Facts(true, kHere, {}, host::kSyncDoNothing), host::kSyncDoNothing, 0},
    {"after a failed HotSync here: slow, to read every record again",
     SyncFacts{true, kHere, kHere, {}, {}, true}, host::kSyncSlow, 0},
    {"after a failed HotSync a whole copy still goes as asked",
     SyncFacts{true, kHere, kHere, host::kSyncDesktopToHandheld, {}, true}, host::kSyncDesktopToHandheld, 0},
};

TEST(SyncPlan, ChoosesTheSyncTypeAndWhoseCategoriesWin) {
    for (const PlanCase& c : kPlanCases) {
        SCOPED_TRACE(c.story);
        EXPECT_EQ(host::ChooseSyncType(c.facts), c.syncType);
        EXPECT_EQ(host::ChooseFirstSyncIndicator(c.facts), c.firstSync);
    }
}

TEST(SyncPlan, AnUnsetDesktopIdNeverMakesASyncFast) {
    SyncFacts facts = Facts(true, 0);
    facts.thisDesktopId = 0;
    EXPECT_EQ(host::ChooseSyncType(facts), host::kSyncSlow);
}

TEST(SyncPlan, SyncTypeNamesRoundTrip) {
    for (int32_t type : {host::kSyncFast, host::kSyncSlow, host::kSyncHandheldToDesktop, host::kSyncDesktopToHandheld})
        EXPECT_EQ(host::ParseSyncTypeName(host::SyncTypeName(type)), type);
    EXPECT_FALSE(host::ParseSyncTypeName("Fast"));
    EXPECT_FALSE(host::ParseSyncTypeName("do-nothing"));
}

TEST(UserFolder, NoUserNameLeadsOutOfThePilotFolder) {
    const struct {
        const char* user;
        const char* folder;
    } cases[] = {
        {"Pat Example", "Pat Example"},
        {"..", "_"},
        {".", "_"},
        {"..\\..\\windows", ".._.._windows"},
        {"a/b:c*d?e\"f<g>h|i", "a_b_c_d_e_f_g_h_i"},
        {"tab\there", "tab_here"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.user);
        EXPECT_EQ(host::UserFolderName(c.user), c.folder);
        EXPECT_EQ(host::UserFolder(c.user), std::string("C:\\Pilot\\") + c.folder + "\\");
    }
}

}  // namespace
