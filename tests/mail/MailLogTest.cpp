// The mail exchange's log: cutting long texts into entries, formatting each with the value, the memo
// copy of long texts, the re-entry guard, and the numbered texts of the string file.
#include "MailFixture.h"

#include "mail/MailLog.h"
#include "mail/TextMemo.h"

namespace {

using mailtest::MailFixture;

std::vector<std::string> Pieces(const std::string& text) {
    std::vector<std::string> out;
    for (std::string_view piece : mail::CutLogText(text)) out.emplace_back(piece);
    return out;
}

TEST(CutLogText, CutsAtLineFeedsLateBlanksAndTheNinetyFirstCharacter) {
    const std::string x91(91, 'x');
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"150 without blanks: 91 and 59, nothing lost", std::string(150, 'x'),
         {std::string(91, 'x'), std::string(59, 'x')}},
        {"80 without blanks: one piece", std::string(80, 'x'), {std::string(80, 'x')}},
        {"200: 91, 91, 18", std::string(200, 'x'), {x91, x91, std::string(18, 'x')}},
        {"a blank at offset 61 ends the piece and is dropped",
         std::string(61, 'a') + " " + std::string(30, 'b'), {std::string(61, 'a'), std::string(30, 'b')}},
        {"a blank at offset 60 does not", std::string(60, 'a') + " " + std::string(30, 'b'),
         {std::string(60, 'a') + " " + std::string(30, 'b')}},
        {"a line feed ends the piece wherever it is and is dropped", "abc\n" + std::string(80, 'd'),
         {"abc", std::string(80, 'd')}},
        {"two line feeds give an empty piece", "ab\n\ncd" + std::string(80, 'x'),
         {"ab", "", "cd" + std::string(80, 'x')}},
        {"a final line feed leaves no empty piece", std::string(85, 'x') + "\n", {std::string(85, 'x')}},
        {"a blank at offset 91 is dropped too", x91 + " yy", {x91, "yy"}},
        {"words: the first blank after offset 60", [] {
             std::string s;
             for (int i = 0; i < 20; ++i) s += "abcd ";
             return s;
         }(),
         {"abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd abcd",
          "abcd abcd abcd abcd abcd abcd abcd "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Pieces(c.text), c.pieces);
    }
}

class MailLogTest : public MailFixture {
protected:
    void SetUp() override {
        db_ = OpenMemoDatabase();
        AddCategory(0, "Unfiled");
        AddCategory(2, "Inbox");
        Mail().texts.DefaultInboxName = "Inbox";
    }
    MailMemoTarget Target() { return {&categories_, db_}; }
    std::vector<std::string> MemoTexts() {
        std::vector<std::string> texts;
        for (const auto& r : MemoDb().records) texts.push_back(r.data);
        return texts;
    }
    uint8_t db_ = 0;
};

TEST_F(MailLogTest, ShortTextIsOneEntryAndNoMemo) {
    MailSessionScope scope(Target());
    const std::string text79 = "Code %d " + std::string(71, 'a');
    ASSERT_EQ(text79.size(), 79u);
    LogMailText(text79, 42);
    ASSERT_EQ(log_.Entries().size(), 1u);
    EXPECT_EQ(log_.Entries()[0], (synckit::LogEntry{"Code 42 " + std::string(71, 'a'), -1, 0}));
    EXPECT_EQ(handheld_.CountCalls(synckit::SyncOp::WriteRec), 0u);
}

TEST_F(MailLogTest, TextOfEightyCharactersIsCutAndWrittenAsMemoUnformatted) {
    MailSessionScope scope(Target());
    const std::string text80 = "Code %d " + std::string(72, 'a');
    LogMailText(text80, 42);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"Code 42 " + std::string(72, 'a')});
    // The memo holds the text as looked up, its conversion unfilled, in the incoming category.
    ASSERT_EQ(MemoDb().records.size(), 1u);
    EXPECT_EQ(MemoDb().records[0].data, text80 + '\0');
    EXPECT_EQ(MemoDb().records[0].category, 2);
}

TEST_F(MailLogTest, EachPieceIsFormattedWithTheValue) {
    MailSessionScope scope(Target());
    const std::string text = "First %d" + std::string(83, '.') + "second %d";
    LogMailText(text, 7);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"First 7" + std::string(83, '.'), "second 7"}));
    EXPECT_EQ(MemoTexts(), std::vector<std::string>{text + '\0'});
}

TEST_F(MailLogTest, WithoutASessionScopeNoMemoIsWritten) {
    LogMailText(std::string(150, 'x'), 0);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{std::string(91, 'x'), std::string(59, 'x')}));
    EXPECT_EQ(handheld_.CountCalls(synckit::SyncOp::WriteRec), 0u);
}

// The memo copy fails and reports its failure through the log: that report arrives while the first
// call is still running and is dropped, so the log does not recurse.
TEST_F(MailLogTest, FailingMemoCopyDoesNotLogAgain) {
    Mail().StringFilePath = "C:\\Apps\\Mail\\tervstr.ini";
    WriteDriveC("Apps/Mail/tervstr.ini", mailtest::kTestStringFile);
    handheld_.Faults().everyCallOf.push_back({synckit::SyncOp::WriteRec, kSyncErrFailed});
    MailSessionScope scope(Target());
    LogMailText(std::string(100, 'y'), 0);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{std::string(91, 'y'), std::string(9, 'y')}));
    EXPECT_EQ(handheld_.CountCalls(synckit::SyncOp::WriteRec), 1u);
    // Outside a log call the same failure is reported.
    EXPECT_EQ(WriteTextMemo(Target(), "z"), kSyncErrFailed);
    EXPECT_EQ(LogTexts().back(), "Tervano Mail: Pilot refused (1)");
}

TEST_F(MailLogTest, FullHandheldDuringMemoCopyIsToldWithTheFixedText) {
    handheld_.Faults().everyCallOf.push_back({synckit::SyncOp::WriteRec, kSyncErrMemoryFull});
    MailSessionScope scope(Target());
    LogMailText(std::string(100, 'y'), 0);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{std::string(91, 'y'), std::string(9, 'y'), kHandheldFullText}));
}

class LogMailMessageTest : public MailFixture {};

TEST_F(LogMailMessageTest, LooksUpTheCodeInTheSectionWithThePrefix) {
    Install("");
    ASSERT_EQ(ReadMailSettings(), 0);
    struct Case {
        const char* section;
        int32_t code;
        const char* text;
    };
    const Case cases[] = {
        {"HotSync", 16404, "Tervano Mail: Pilot full (20)"},          // reduced by 16384
        {"HotSync", 16384, "Tervano Mail: Key 16384 (16384)"},        // 16384 itself stays
        {"HotSync", 16385, "Tervano Mail: Pilot refused (1)"},
        {"hotsync", 1, "Tervano Mail: Pilot refused (1)"},            // section names ignore case
        {"Mail", 7, "Tervano Mail: Database not open (7)"},
        {"Mail", 99, "Tervano Mail: "},                               // a missing key is an empty text
        {"Mapi", 7, "Tervano Mail: "},
        {"Mail", 8, "Tervano Mail: %s%n8%d"},                         // a hostile text stays harmless
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + " " + std::to_string(c.code));
        log_.Clear();
        LogMailMessage(c.section, c.code);
        ASSERT_EQ(log_.Entries().size(), 1u);
        EXPECT_EQ(log_.Entries()[0], (synckit::LogEntry{c.text, -1, 0}));
    }
}

TEST_F(LogMailMessageTest, WithoutAStringFileTheCodeIsUnrecognized) {
    LogMailMessage("Mail", 5);
    LogMailMessage("HotSync", 16404);
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{"Tervano Mail: Unrecognized message code 5",
                                                    "Tervano Mail: Unrecognized message code 20"}));
}

TEST_F(LogMailMessageTest, LongTextOfTheStringFileIsCutAndCopiedToAMemo) {
    const std::string longText = "The memo could not be written (%d). " + std::string(100, 'w');
    Install("", std::string(mailtest::kTestStringFile) + "[Mapi]\r\n2=" + longText + "\r\n");
    ASSERT_EQ(ReadMailSettings(), 0);
    const uint8_t db = OpenMemoDatabase();
    AddCategory(5, "Inbox");
    MailSessionScope scope(MailMemoTarget{&categories_, db});
    LogMailMessage("Mapi", 2);
    const std::string full = "Tervano Mail: " + longText;
    EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                              "Tervano Mail: The memo could not be written (2). " + std::string(41, 'w'),
                              std::string(59, 'w')}));
    ASSERT_EQ(MemoDb().records.size(), 1u);
    EXPECT_EQ(MemoDb().records[0].data, full + '\0');
    EXPECT_EQ(MemoDb().records[0].category, 5);
}

}  // namespace
