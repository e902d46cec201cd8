// The HotSync log texts letter by letter, and each message's lines, kinds and header.
#include <gtest/gtest.h>

#include <string>

#include "SessionTestSupport.h"
#include "resources/StringTable.h"
#include "win/Module.h"

using namespace session_test;

namespace {

TEST(StringTableTest, EveryTextLoadsExactlyFromTheConduitModule) {
    const struct { uint32_t id; const char* text; } expected[] = {
        {3303, "Memo Pad"},
        {3311, "     Please check your connections and try again."},
        {3312, "     Your Pilot may be full.  Check the Pilot's Memory Application."},
        {3313, "     Your Desktop disk may be full.  Check the disk space and HotSync again."},
        {3314, "Desktop"},
        {3315, "   - Could not copy the following record to Pilot:"},
        {3316, "   - Could not purge the deleted records on Pilot."},
        {3317, "   - Could not delete the following record on Pilot:"},
        {3318, "   - Could not modify the following record on Pilot:"},
        {3319, "   - Could not copy the following record to the Desktop:"},
        {3320, "   - Could not move the Pilot records in category '"},
        {3321, "' to 'Unfiled'."},
        {3322, "   - Could not read the next Pilot record."},
        {3323, "   - Only 15 categories are allowed.  All records in category"},
        {3324, "     were changed to 'Unfiled'."},
        {3325, "category"},
        {3326, "has been deleted and all of"},
        {3327, "     the records in this category have been moved to 'Unfiled'."},
        {3328, "   - The following record was modified on both Pilot and the Desktop:"},
        {3329, "     This record will be duplicated on each platform."},
        {3330, "     Delete the unwanted record and HotSync again."},
        {3331, "   - The following record was modified on both Pilot and the Desktop:"},
        {3332, "     This record will be duplicated on each platform. The Pilot record marked to"},
        {3333, "     be archived was not archived.  Delete the unwanted record and HotSync again."},
        {3334, "   - The following record was modified on one platform and deleted on the other."},
        {3335, "     The modified version will appear on both platforms."},
        {3338, "   - Some Pilot records were not copied to the Desktop. Your computer may be"},
        {3339, "     full or you may have reached the maximum allowed records on the desktop."},
        {3340, "     To correct this situation, delete some records and HotSync again."},
        {3341, "   - Some Desktop records were not copied to Pilot. Your Pilot may be full."},
        {3342, "     To correct this situation, delete some records and HotSync again."},
        {3345, "   - Records may not be sorted correctly on the Desktop."},
        {3346, "   - Some or all of your deleted records were not archived."},
        {3347, "   - Could not save the Desktop file."},
    };
    const win::HMODULE module = ConduitModuleInit();
    ASSERT_NE(module, nullptr);
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        char buffer[kStringBufferSize];
        EXPECT_EQ(win::LoadString(module, e.id, buffer, sizeof buffer), static_cast<int>(std::strlen(e.text)));
        EXPECT_STREQ(buffer, e.text);
    }
    EXPECT_EQ(ConduitStringCount(), std::size(expected));  // no text beyond these
    char buffer[kStringBufferSize];
    EXPECT_EQ(win::LoadString(module, 3336, buffer, sizeof buffer), 0);
}

// Messages written through the session on an empty log: the header comes first, once.
class LogMessagesTest : public SessionFixture {
protected:
    LogMessagesTest() : session(MemoProperties(0)) {
        EXPECT_EQ(session.OpenDesktopTables(), 0);
        row = std::make_unique<CMemoRecord>(*session.desktopTable_, 0);
        session.desktopTable_->CreateRecord(*row);
        row->SetMemo("Buy milk");
    }
    ScriptedMonitor session;
    std::unique_ptr<CMemoRecord> row;
};

TEST_F(LogMessagesTest, EachMessageHasItsLinesAndKinds) {
    const std::string data = "       Buy milk";
    const std::string connections = "     Please check your connections and try again.";
    const std::string diskFull = "     Your Desktop disk may be full.  Check the disk space and HotSync again.";
    const struct {
        const char* name;
        std::function<void()> log;
        Entries lines;
    } cases[] = {
        {"copy to handheld", [&] { session.LogCopyToHandheldFailed(*row); },
         {{"   - Could not copy the following record to Pilot:", 9, 0}, {data, -1, 0},
          {"     Your Pilot may be full.  Check the Pilot's Memory Application.", -1, 0}}},
        {"purge", [&] { session.LogPurgeHandheldFailed(); },
         {{"   - Could not purge the deleted records on Pilot.", 10, 0}, {connections, -1, 0}}},
        {"delete", [&] { session.LogDeleteOnHandheldFailed(*row); },
         {{"   - Could not delete the following record on Pilot:", 12, 0}, {data, -1, 0}, {connections, -1, 0}}},
        {"modify", [&] { session.LogModifyOnHandheldFailed(*row); },
         {{"   - Could not modify the following record on Pilot:", 11, 0}, {data, -1, 0}, {connections, -1, 0}}},
        {"copy to desktop", [&] { session.LogCopyToDesktopFailed(*row); },
         {{"   - Could not copy the following record to the Desktop:", 13, 0}, {data, -1, 0}}},
        {"move to unfiled", [&] { session.LogMoveToUnfiledFailed("Business"); },
         {{"   - Could not move the Pilot records in category 'Business' to 'Unfiled'.", 7, 0},
          {connections, -1, 0}}},
        {"read next", [&] { session.LogReadNextFailed(); },
         {{"   - Could not read the next Pilot record.", 8, 0}, {connections, -1, 0}}},
        {"order", [&] { session.LogOrderNotApplied(); },
         {{"   - Records may not be sorted correctly on the Desktop.", 15, 0}, {connections, -1, 0}}},
        {"archive", [&] { session.LogArchiveFailed(); },
         {{"   - Some or all of your deleted records were not archived.", 16, 0}, {diskFull, -1, 0}}},
        {"save", [&] { session.LogSaveFailed(); },
         {{"   - Could not save the Desktop file.", 17, 0}, {diskFull, -1, 0}}},
        {"too many categories", [&] { session.LogTooManyCategories("Travel"); },
         {{"   - Only 15 categories are allowed.  All records in category 'Travel'", 3, 0},
          {"     were changed to 'Unfiled'.", -1, 0}}},
        {"category deleted on the desktop", [&] { session.LogCategoryDeleted("Business", "Pilot"); },
         {{"   - Pilot category 'Business' has been deleted and all of", 4, 0},
          {"     the records in this category have been moved to 'Unfiled'.", -1, 0}}},
        {"category deleted on the handheld", [&] { session.LogCategoryDeleted("Business", "Desktop"); },
         {{"   - Desktop category 'Business' has been deleted and all of", 4, 0},
          {"     the records in this category have been moved to 'Unfiled'.", -1, 0}}},
        {"both modified", [&] { session.LogBothModified(*row); },
         {{"   - The following record was modified on both Pilot and the Desktop:", 0, 0}, {data, -1, 0},
          {"     This record will be duplicated on each platform.", -1, 0},
          {"     Delete the unwanted record and HotSync again.", -1, 0}}},
        {"both modified, archive", [&] { session.LogBothModifiedArchive(*row); },
         {{"   - The following record was modified on both Pilot and the Desktop:", 1, 0}, {data, -1, 0},
          {"     This record will be duplicated on each platform. The Pilot record marked to", -1, 0},
          {"     be archived was not archived.  Delete the unwanted record and HotSync again.", -1, 0}}},
        {"modified and deleted", [&] { session.LogModifiedAndDeleted(*row); },
         {{"   - The following record was modified on one platform and deleted on the other.", 2, 0},
          {"     The modified version will appear on both platforms.", -1, 0}, {data, -1, 0}}},
        {"handheld records not copied", [&] { session.LogHandheldRecordsNotCopied(12, 14); },
         {{"   - Some Pilot records were not copied to the Desktop. Your computer may be", 14, 0},
          {"     full or you may have reached the maximum allowed records on the desktop.", -1, 0},
          {"     To correct this situation, delete some records and HotSync again.", -1, 0},
          {"     Desktop = 12, Pilot = 14", -1, 0}}},
        {"desktop records not copied", [&] { session.LogDesktopRecordsNotCopied(70000, 3); },
         {{"   - Some Desktop records were not copied to Pilot. Your Pilot may be full.", 14, 0},
          {"     To correct this situation, delete some records and HotSync again.", -1, 0},
          {"     Desktop = 70000, Pilot = 3", -1, 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        c.log();
        Entries expected = {{"-- Memo Pad", -1, 0}};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(log.Entries(), expected);
    }
}

TEST_F(LogMessagesTest, TwoFailuresShareOneHeader) {
    session.LogReadNextFailed();
    session.LogSaveFailed();
    ASSERT_EQ(log.Entries().size(), 5u);
    EXPECT_EQ(log.Entries()[0], (synckit::LogEntry{"-- Memo Pad", -1, 0}));
    EXPECT_EQ(log.Entries()[1].kind, 8);
    EXPECT_EQ(log.Entries()[3].kind, 17);
}

TEST_F(LogMessagesTest, LongMemoIsShownCutToSeventyCharacters) {
    row->SetMemo(std::string(100, 'x'));
    session.LogCopyToDesktopFailed(*row);
    ASSERT_EQ(log.Entries().size(), 3u);
    EXPECT_EQ(log.Entries()[2].text, "       " + std::string(70, 'x'));
}

TEST_F(LogMessagesTest, OverlongCategoryNameIsLoggedWhole) {
    const std::string name(200, 'n');
    session.LogTooManyCategories(name.c_str());
    ASSERT_EQ(log.Entries().size(), 3u);
    EXPECT_EQ(log.Entries()[1].text, "   - Only 15 categories are allowed.  All records in category '" + name + "'");
}

}  // namespace
