// Reading the settings: the program directory from the registry, the two file paths, the keys of
// section mail10 with their defaults and cuts, and the texts of section Strings.
#include "MailFixture.h"

#include "mail/MailSettings.h"

namespace {

using mailtest::MailFixture;

TEST(ProgramDirectoryFromPath, CutsAfterTheLastBackslashAndKeepsIt) {
    struct Case {
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\Apps\\Mail\\", "C:\\Apps\\Mail\\"},
        {"C:\\Apps\\Mail", "C:\\Apps\\"},
        {"C:\\Apps\\Mail\\Tervano Mail.exe", "C:\\Apps\\Mail\\"},
        {"Mail", ""},
        {"", ""},
        {"\\", "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ProgramDirectoryFromPath(c.value), c.expected);
    }
}

class ReadMailSettingsTest : public MailFixture {};

// The settings file lies in the program directory, or among the bare names (the Windows folder)
// when the Path value has no backslash.
TEST_F(ReadMailSettingsTest, SettingsFileFollowsTheAppPathsValue) {
    struct Case {
        const char* path;
        const char* settingsFile;
        const char* hostFolder;  // where the test puts the files, below drive C:
    };
    const Case cases[] = {
        {"C:\\Apps\\Mail\\", "C:\\Apps\\Mail\\tervano.ini", "Apps/Mail/"},
        {"C:\\Apps\\Mail", "C:\\Apps\\tervano.ini", "Apps/"},
        {"Mail", "tervano.ini", "windows/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        SetAppPath(c.path);
        WriteDriveC(std::string(c.hostFolder) + "tervano.ini",
                    "[mail10]\nSendMail=0\nStringFile=strings.ini\n");
        WriteDriveC(std::string(c.hostFolder) + "strings.ini", "[Strings]\n2=Eingang\n");
        ASSERT_EQ(ReadMailSettings(), 0);
        EXPECT_EQ(Mail().SettingsFilePath, c.settingsFile);
        EXPECT_EQ(Mail().StringFilePath, ProgramDirectoryFromPath(c.path) + "strings.ini");
        EXPECT_FALSE(Mail().settings.SendMail);                  // read from that file
        EXPECT_EQ(Mail().texts.DefaultInboxName, "Eingang");     // the string file beside it
        EXPECT_EQ(Mail().settings.InboxName, "Eingang");
    }
}

TEST_F(ReadMailSettingsTest, MissingSettingsFileGivesTheDefaults) {
    Install("");
    ASSERT_EQ(ReadMailSettings(), 0);
    const MailSettings& s = Mail().settings;
    EXPECT_EQ(s.StringFile, "tervstr.ini");
    EXPECT_EQ(Mail().StringFilePath, "C:\\Apps\\Mail\\tervstr.ini");
    EXPECT_TRUE(s.SendMail);
    EXPECT_FALSE(s.DeleteSentMessages);
    EXPECT_TRUE(s.MoveSentMailToSent);
    EXPECT_TRUE(s.ReceiveMail);
    EXPECT_EQ(s.MaxMessagesToReceive, 1000);
    EXPECT_EQ(s.MaxMessageSize, 0);
    EXPECT_FALSE(s.ReceiveOnlyUnreadMessages);
    EXPECT_FALSE(s.MarkReceivedMessagesAsRead);
    EXPECT_FALSE(s.ShowSenderInHeadline);
    EXPECT_EQ(s.LastSyncTime, "1990/01/01 00:00");
    EXPECT_EQ(s.LastNetscapeSyncTime, "1990/01/01 00:00");
    EXPECT_TRUE(s.OnlyReceiveNewMessages);
    EXPECT_TRUE(s.UseDefaultProfile);
    EXPECT_FALSE(s.ForceDownload);
    // The category names default to the string file's texts.
    EXPECT_EQ(s.InboxName, "Inbox");
    EXPECT_EQ(s.OutboxName, "Outbox");
    EXPECT_EQ(s.SentName, "Sent");
    EXPECT_FALSE(s.NetscapeMail);
    EXPECT_EQ(s.NetscapeFolderName, "Inbox");
    EXPECT_FALSE(s.NetscapeOnlyFlagged);
    EXPECT_EQ(Mail().MemoLimit, 4090);
    EXPECT_EQ(Mail().NewestMapiTime, 631152000);  // 1990/01/01 00:00 UTC
    EXPECT_EQ(Mail().NewestNetscapeTime, 631152000);
    EXPECT_FALSE(Mail().NewestMapiTimeRaised);
    EXPECT_FALSE(Mail().NewestNetscapeTimeRaised);
    EXPECT_TRUE(log_.Entries().empty());
}

TEST_F(ReadMailSettingsTest, ReadsEveryKeyOfTheSettingsFile) {
    Install(
        "StringFile=tervstr.ini\r\nSendMail=0\r\nDeleteSentMessages=1\r\nMoveSentMailToSent=0\r\n"
        "ReceiveMail=0\r\nMaxMessagesToReceive=25\r\nReceiveOnlyUnreadMessages=2\r\n"
        "MarkReceivedMessagesAsRead=-1\r\nShowSenderInHeadline=1\r\nLastSyncTime=2001/02/03 04:05\r\n"
        "LastNetscapeSyncTime=2040/06/15 10:30\r\nOnlyReceiveNewMessages=0\r\nUseDefaultProfile=0\r\n"
        "ForceDownload=1\r\nInboxName=Mail in\r\nOutboxName=Mail out\r\nSentName=Mail sent\r\n"
        "NetscapeMail=1\r\nNetscapeFolderName=Work\r\nNetscapeOnlyFlagged=1\r\n");
    ASSERT_EQ(ReadMailSettings(), 0);
    const MailSettings& s = Mail().settings;
    EXPECT_FALSE(s.SendMail);
    EXPECT_TRUE(s.DeleteSentMessages);
    EXPECT_FALSE(s.MoveSentMailToSent);
    EXPECT_FALSE(s.ReceiveMail);
    EXPECT_EQ(s.MaxMessagesToReceive, 25);
    EXPECT_TRUE(s.ReceiveOnlyUnreadMessages);   // any value but 0 sets a flag
    EXPECT_TRUE(s.MarkReceivedMessagesAsRead);
    EXPECT_TRUE(s.ShowSenderInHeadline);
    EXPECT_FALSE(s.OnlyReceiveNewMessages);
    EXPECT_FALSE(s.UseDefaultProfile);
    EXPECT_TRUE(s.ForceDownload);
    EXPECT_EQ(s.InboxName, "Mail in");
    EXPECT_EQ(s.OutboxName, "Mail out");
    EXPECT_EQ(s.SentName, "Mail sent");
    EXPECT_TRUE(s.NetscapeMail);
    EXPECT_EQ(s.NetscapeFolderName, "Work");
    EXPECT_TRUE(s.NetscapeOnlyFlagged);
    EXPECT_EQ(Mail().NewestMapiTime, ParseSyncTime("2001/02/03 04:05"));
    EXPECT_EQ(Mail().NewestNetscapeTime, 2065516200);  // clamped to 2035
}

TEST_F(ReadMailSettingsTest, MemoLimitOnlyAsksWhetherMaxMessageSizeIsZero) {
    struct Case {
        const char* value;
        int32_t memoLimit;
    };
    const Case cases[] = {{"0", 4090}, {"1", 28672}, {"100000", 28672}, {"-5", 28672}, {"abc", 4090}, {"", 4090}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Install(std::string("MaxMessageSize=") + c.value + "\r\n");
        ASSERT_EQ(ReadMailSettings(), 0);
        EXPECT_EQ(Mail().MemoLimit, c.memoLimit);
    }
}

TEST_F(ReadMailSettingsTest, LongTextsAreCutToTheirBuffers) {
    const std::string name25(25, 'n');
    const std::string time120 = "2001/02/03 04:05" + std::string(104, '9');
    const std::string folder300(300, 'f');
    const std::string text60(60, 't');
    Install("InboxName=" + name25 + "\r\nLastSyncTime=" + time120 + "\r\nNetscapeFolderName=" + folder300 + "\r\n",
            "[Strings]\r\n1=" + text60 + "\r\n");
    ASSERT_EQ(ReadMailSettings(), 0);
    EXPECT_EQ(Mail().settings.InboxName, name25.substr(0, 19));
    EXPECT_EQ(Mail().settings.LastSyncTime, time120.substr(0, 99));
    EXPECT_EQ(Mail().settings.NetscapeFolderName, folder300.substr(0, 255));
    EXPECT_EQ(Mail().texts.DefaultOutboxName, text60.substr(0, 49));
    EXPECT_EQ(Mail().settings.OutboxName, text60.substr(0, 19));  // the default is cut as well
}

TEST_F(ReadMailSettingsTest, ReadsTheSixteenStringsTexts) {
    std::string strings = "[Strings]\r\n";
    for (int key = 1; key <= 16; ++key) strings += std::to_string(key) + "=text " + std::to_string(key) + "\r\n";
    Install("", strings);
    ASSERT_EQ(ReadMailSettings(), 0);
    const MailTexts& t = Mail().texts;
    const std::string* inOrder[] = {&t.DefaultOutboxName, &t.DefaultInboxName, &t.DefaultSentName, &t.ToKeyword,
                                    &t.SubjectKeyword,    &t.UnusedText6,      &t.CcKeyword,       &t.BccKeyword,
                                    &t.DateKeyword,       &t.FromKeyword,      &t.SkippedKeyword,  &t.PartFormat,
                                    &t.NoTextText,        &t.MoreRecipientsText, &t.NoSubjectText, &t.UnknownSenderText};
    for (int key = 1; key <= 16; ++key) {
        SCOPED_TRACE(key);
        EXPECT_EQ(*inOrder[key - 1], "text " + std::to_string(key));
    }
}

TEST_F(ReadMailSettingsTest, MissingStringFileGivesEmptyTextsAndCategoryNames) {
    SetAppPath("C:\\Apps\\Mail\\");
    ASSERT_EQ(ReadMailSettings(), 0);
    EXPECT_EQ(Mail().texts.DefaultInboxName, "");
    EXPECT_EQ(Mail().texts.PartFormat, "");
    EXPECT_EQ(Mail().settings.InboxName, "");
    EXPECT_EQ(Mail().settings.NetscapeFolderName, "");
}

// Without a program directory the exchange cannot run; the two causes are told apart by the code.
TEST_F(ReadMailSettingsTest, MissingAppPathsEntryIsAConfigurationError) {
    Mail().StringFilePath = "C:\\old\\tervstr.ini";  // from an earlier exchange
    EXPECT_EQ(ReadMailSettings(), -1);
    CreateAppPathsKeyOnly();
    EXPECT_EQ(ReadMailSettings(), -1);
    ASSERT_EQ(log_.Entries().size(), 2u);
    EXPECT_EQ(log_.Entries()[0], (synckit::LogEntry{"Configuration error 20", -1, 0}));
    EXPECT_EQ(log_.Entries()[1], (synckit::LogEntry{"Configuration error 21", -1, 0}));
    // Nothing of the earlier exchange is used afterwards.
    EXPECT_EQ(Mail().StringFilePath, "");
    EXPECT_EQ(Mail().SettingsFilePath, "");
}

TEST_F(ReadMailSettingsTest, AppPathsKeyThatCannotBeReadIsError20) {
    SetAppPath("C:\\Apps\\Mail\\");
    auto deny = win::DenyRegistryAccess(win::KEY_QUERY_VALUE);
    EXPECT_EQ(ReadMailSettings(), -1);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"Configuration error 20"});
}

TEST_F(ReadMailSettingsTest, PathValueTooLongForItsBufferIsError21) {
    SetAppPath("C:\\" + std::string(300, 'p') + "\\");
    EXPECT_EQ(ReadMailSettings(), -1);
    EXPECT_EQ(LogTexts(), std::vector<std::string>{"Configuration error 21"});
}

// The remembered incoming category belongs to the handheld, not to the settings.
TEST_F(ReadMailSettingsTest, KeepsTheIncomingCategoryIndex) {
    Install("");
    Mail().InboxCategoryIndex = 4;
    ASSERT_EQ(ReadMailSettings(), 0);
    EXPECT_EQ(Mail().InboxCategoryIndex, 4);
}

}  // namespace
