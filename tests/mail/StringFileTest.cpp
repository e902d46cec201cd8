// The string file shipped with the program: every key the conduit and the configuration program
// look up is there, read through the same profile reader, with texts that fit their buffers and
// format safely.
#include "MailFixture.h"

#include <cstdlib>

#include "mail/MailLog.h"
#include "mail/SafeFormat.h"
#include "win/Profile.h"

namespace {

using mailtest::MailFixture;

class ShippedStringFileTest : public MailFixture {
protected:
    void SetUp() override {
        std::filesystem::create_directories(prefix_.DriveC() / "Apps/Mail");
        std::filesystem::copy_file(TERVANO_SHIPPED_STRING_FILE, prefix_.DriveC() / "Apps/Mail/tervstr.ini");
    }
    // The key's value, or "<missing>" when it is not in the file.
    static std::string Read(const char* section, int key) {
        char buffer[8192];
        win::GetPrivateProfileString(section, std::to_string(key).c_str(), "<missing>", buffer, sizeof buffer,
                                     "C:\\Apps\\Mail\\tervstr.ini");
        return buffer;
    }
};

TEST_F(ShippedStringFileTest, StringsHoldTheHeaderVocabulary) {
    const std::pair<int, const char*> exact[] = {
        {1, "Outbox"}, {2, "Inbox"}, {3, "Sent"},   {4, "To:"},    {5, "Subject:"},
        {7, "Cc:"},    {8, "Bcc:"},  {9, "Date:"}, {10, "From:"}, {12, " (Part %d of %d)"},
    };
    for (const auto& [key, text] : exact) {
        SCOPED_TRACE(key);
        EXPECT_EQ(Read("Strings", key), text);
    }
    for (int key = 1; key <= 16; ++key) {
        SCOPED_TRACE(key);
        const std::string text = Read("Strings", key);
        EXPECT_NE(text, "<missing>");
        EXPECT_FALSE(text.empty());  // an empty keyword would match every line
        EXPECT_LE(text.size(), 49u);
    }
    EXPECT_EQ(mail::SafeFormat(Read("Strings", 12), {2, 3}), " (Part 2 of 3)");
}

TEST_F(ShippedStringFileTest, MonthsAreTheNamesOfDateLines) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int month = 1; month <= 12; ++month) {
        SCOPED_TRACE(month);
        EXPECT_EQ(Read("Months", month), names[month - 1]);
    }
}

// Every code that can reach each section, as the exchange reports them (Sync Manager codes less
// 16384, the exchange's own codes, Simple MAPI codes, and the memo writer's -1 and 4106).
TEST_F(ShippedStringFileTest, EveryMessageCodeHasATextThatFormatsWithItsCode) {
    std::vector<std::pair<const char*, int>> keys;
    for (int code : {1, 2, 3, 4, 5, 7, 8, 10, 11, 12, 15, 19, 20, 8224, 8225}) keys.emplace_back("Mail", code);
    for (int code = 1; code <= 26; ++code) keys.emplace_back("Mapi", code);
    for (int code = 1; code <= 26; ++code) keys.emplace_back("HotSync", code);
    for (int code : {-1, 4106, 8224, 8225}) keys.emplace_back("HotSync", code);
    for (const auto& [section, code] : keys) {
        SCOPED_TRACE(std::string(section) + " " + std::to_string(code));
        const std::string text = Read(section, code);
        ASSERT_NE(text, "<missing>");
        EXPECT_FALSE(text.empty());
        EXPECT_LE(text.size(), 255u);  // what the message buffer holds
        // At most one conversion, an integer one: nothing is left unfilled.
        const std::string filled = mail::SafeFormat(text, {code});
        EXPECT_EQ(filled.find('%'), std::string::npos) << filled;
    }
}

TEST_F(ShippedStringFileTest, SetupHoldsTheCaptionsOfTheConfigurationProgram) {
    const std::pair<int, const char*> captions[] = {
        {1, "Tervano Mail Configuration"},
        {2, "Options for sending mail from the Pilot"},
        {3, "Send outgoing mail"},
        {4, "Move sent messages to Sent mail category"},
        {5, "Options for receiving mail on the Pilot"},
        {6, "Receive incoming mail"},
        {7, "Use default Exchange profile"},
        {8, "Force download of new mail"},
        {9, "Only transfer messages received since last sync"},
        {10, "Only transfer unread messages"},
        {11, "Mark transferred messages as having been read"},
        {12, "Show sender's name in the headline"},
        {13, "Maximum number of messages to transfer per sync"},
        {14, "Pilot category names"},
        {15, "Incoming mail:"},
        {16, "Outgoing mail:"},
        {17, "Sent mail:"},
        {19, "OK"},
        {20, "Cancel"},
        {25, "Settings have been saved"},
        {26, "Your settings have been saved and will be in effect the next time you HotSync."},
        {27, "Version 1.5"},
        {28, "Mail system selection"},
        {29, "Use Microsoft Exchange or Eudora Pro 3.x (MAPI) Mail"},
        {30, "Use Netscape 3.x Mail"},
        {31, "MAPI options"},
        {32, "Netscape options"},
        {33, "Only transfer flagged messages"},
        {34, "Transfer contents of folder:"},
        {35, "User's Guide"},
    };
    for (const auto& [key, caption] : captions) {
        SCOPED_TRACE(key);
        EXPECT_EQ(Read("Setup", key), caption);
    }
}

// Installed in the program directory, the file gives the exchange working defaults.
TEST_F(ShippedStringFileTest, GivesTheExchangeItsCategoryNamesAndMessages) {
    SetAppPath("C:\\Apps\\Mail\\");
    ASSERT_EQ(ReadMailSettings(), 0);
    EXPECT_EQ(Mail().settings.InboxName, "Inbox");
    EXPECT_EQ(Mail().settings.OutboxName, "Outbox");
    EXPECT_EQ(Mail().settings.SentName, "Sent");
    EXPECT_EQ(Mail().settings.NetscapeFolderName, "Inbox");
    LogMailMessage("Mail", 7);
    ASSERT_EQ(log_.Entries().size(), 2u);  // a text of 80 characters or more: cut in two
    EXPECT_EQ(log_.Entries()[0].text.rfind("Tervano Mail: ", 0), 0u);
    EXPECT_NE(log_.Entries()[1].text.find("(Mail error 7)"), std::string::npos);
}

}  // namespace
