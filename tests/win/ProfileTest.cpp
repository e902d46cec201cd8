// The private-profile calls: reading strings and integers as Windows does, and writing keys while
// keeping every other line of the file.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "TempPrefix.h"
#include "win/Profile.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;

namespace {

constexpr const char* kSettings =
    "; Tervano Mail settings\n"
    "[mail10]\n"
    "StringFile=tervstr.ini\n"
    "Empty=\n"
    "  Spaced  =  two words  \n"
    "Quoted=\"  kept blanks  \"\n"
    "HalfQuoted=\"open\n"
    "InboxName=A very long category name\n"
    "Number=12abc\n"
    "Negative=-3\n"
    "Word=abc\n"
    "Plus=+7\n"
    "Hex=0x10\n"
    "Wrapping=4294967297\n"
    "Spaces=   42\n"
    "no equals sign here\n"
    "Number=99\n"
    "\n"
    "[Strings]\n"
    "1=Outbox\n"
    "[mail10]\n"
    "Later=ignored: only the first section of a name counts\n";

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string Convert(std::string text, const char* eol) {
    std::string out;
    for (char c : text) {
        if (c == '\n') {
            out += eol;
        } else {
            out += c;
        }
    }
    return out;
}

class ProfileTest : public ::testing::Test {
protected:
    fs::path Apps() const { return prefix_.DriveC() / "Apps"; }
    TempPrefix prefix_;
};

struct StringCase {
    const char* section;
    const char* key;
    const char* defaultValue;
    size_t size;
    const char* text;
    const char* why;
};

const StringCase kStringCases[] = {
    {"mail10", "StringFile", "x", 256, "tervstr.ini", "present"},
    {"MAIL10", "stringfile", "x", 256, "tervstr.ini", "names without regard to case"},
    {"mail10", "Missing", "tervstr.ini", 256, "tervstr.ini", "missing key gives the default"},
    {"NoSuch", "StringFile", "String not found!", 256, "String not found!", "missing section gives the default"},
    {"mail10", "Empty", "String not found!", 256, "", "present but empty is \"\", not the default"},
    {"mail10", "Spaced", "", 256, "two words", "blanks around name and value trimmed"},
    {"mail10", "Quoted", "", 256, "  kept blanks  ", "matching quotes removed"},
    {"mail10", "HalfQuoted", "", 256, "\"open", "a lone quote stays"},
    {"mail10", "InboxName", "", 20, "A very long categor", "cut to size - 1"},
    {"mail10", "InboxName", "", 1, "", "room for the zero only"},
    {"mail10", "Missing", "Inbox   ", 256, "Inbox", "trailing blanks of the default dropped"},
    {"mail10", "Missing", "  Inbox", 256, "  Inbox", "leading blanks of the default kept"},
    {"mail10", "Missing", "1990/01/01 00:00", 6, "1990/", "the default is cut as well"},
    {"mail10", "Missing", nullptr, 256, "", "null default"},
    {"mail10", "Number", "", 256, "12abc", "the first key of a name counts"},
    {"mail10", "Later", "none", 256, "none", "a repeated section is not looked into"},
    {"Strings", "1", "", 50, "Outbox", "another section"},
};

void CheckStrings(const char* file) {
    for (const StringCase& c : kStringCases) {
        SCOPED_TRACE(c.why);
        char buffer[300];
        std::memset(buffer, '#', sizeof buffer);
        size_t copied = win::GetPrivateProfileString(c.section, c.key, c.defaultValue, buffer, c.size, file);
        EXPECT_STREQ(buffer, c.text);
        EXPECT_EQ(copied, std::strlen(c.text));
        for (size_t i = c.size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
    }
}

TEST_F(ProfileTest, ReadsStringsFromAnLfFile) {
    Write(Apps() / "tervano.ini", kSettings);
    CheckStrings("C:\\Apps\\tervano.ini");
}

TEST_F(ProfileTest, ReadsStringsFromACrLfFile) {
    Write(Apps() / "TERVANO.INI", Convert(kSettings, "\r\n"));
    CheckStrings("c:\\apps\\tervano.ini");
}

TEST_F(ProfileTest, MissingFileGivesDefaultsAndBareNamesLieInTheWindowsFolder) {
    char buffer[64];
    EXPECT_EQ(win::GetPrivateProfileString("mail10", "StringFile", "tervstr.ini", buffer, sizeof buffer,
                                           "C:\\Apps\\tervano.ini"),
              11u);
    EXPECT_STREQ(buffer, "tervstr.ini");
    EXPECT_EQ(win::GetPrivateProfileInt("mail10", "SendMail", 1, "C:\\Apps\\tervano.ini"), 1);

    Write(prefix_.DriveC() / "windows" / "tervano.ini", "[mail10]\nSendMail=0\n");
    EXPECT_EQ(win::GetPrivateProfileInt("mail10", "SendMail", 1, "tervano.ini"), 0);
}

TEST_F(ProfileTest, ReadsIntegersTheWayWindowsDoes) {
    Write(Apps() / "tervano.ini", kSettings);
    struct Case {
        const char* key;
        int defaultValue;
        int number;
        const char* why;
    } cases[] = {
        {"Number", 5, 12, "digits up to the first non-digit"},
        {"Negative", 5, -3, "a minus sign"},
        {"Plus", 5, 7, "a plus sign"},
        {"Word", 5, 0, "no digits at all gives 0, not the default"},
        {"Hex", 5, 0, "no hexadecimal: 0 then 'x'"},
        {"Spaces", 5, 42, "leading blanks"},
        {"Wrapping", 5, 1, "wraps modulo 2^32"},
        {"Missing", 1000, 1000, "missing key gives the default"},
        {"Empty", 1000, 1000, "an empty value gives the default too"},
        {"StringFile", 1000, 0, "a text"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(win::GetPrivateProfileInt("Mail10", c.key, c.defaultValue, "C:\\Apps\\tervano.ini"), c.number);
    }
}

struct WriteCase {
    const char* before;  // "" for a missing file
    const char* section;
    const char* key;
    const char* value;
    const char* after;
    const char* why;
};

const WriteCase kWriteCases[] = {
    {"; settings\n[mail10]\nSendMail=1\n  ReceiveMail = 1 \n; the categories\nInboxName=Inbox\n\n[Other]\nA=1\n",
     "MAIL10", "receivemail", "0",
     "; settings\n[mail10]\nSendMail=1\nReceiveMail=0\n; the categories\nInboxName=Inbox\n\n[Other]\nA=1\n",
     "replaced in place, name keeps its spelling, every other line kept"},
    {"[mail10]\nSendMail=1\n; note\n\n[Other]\nA=1\n", "mail10", "OutboxName", "Outbox",
     "[mail10]\nSendMail=1\nOutboxName=Outbox\n; note\n\n[Other]\nA=1\n", "new key after the last key of its section"},
    {"[mail10]\n[Other]\nA=1\n", "mail10", "SentName", "Sent", "[mail10]\nSentName=Sent\n[Other]\nA=1\n",
     "new key in an empty section"},
    {"[Other]\nA=1", "mail10", "SendMail", "1", "[Other]\nA=1\n[mail10]\nSendMail=1\n",
     "new section at the end, a last line without line end ended"},
    {"", "mail10", "SendMail", "1", "[mail10]\nSendMail=1\n", "file created, LF line ends"},
    {"[mail10]\r\nSendMail=1\r\n", "mail10", "ReceiveMail", "1", "[mail10]\r\nSendMail=1\r\nReceiveMail=1\r\n",
     "a CR LF file gets CR LF lines"},
    {"[mail10]\r\nSendMail=1\r\n", "mail10", "SendMail", "0", "[mail10]\r\nSendMail=0\r\n",
     "replacing keeps CR LF"},
    {"[mail10]\nSendMail=1\nReceiveMail=1\n", "mail10", "sendmail", nullptr, "[mail10]\nReceiveMail=1\n",
     "a null value deletes the key"},
    {"[a]\nX=1\n[mail10]\nSendMail=1\n; gone too\n[b]\nY=2\n", "Mail10", nullptr, nullptr, "[a]\nX=1\n[b]\nY=2\n",
     "a null key deletes the section"},
    {"[mail10]\nSendMail=1\n", "mail10", "Missing", nullptr, "[mail10]\nSendMail=1\n",
     "deleting a missing key changes nothing"},
    {"[mail10]\nInboxName=Inbox\n", "mail10", "InboxName", "", "[mail10]\nInboxName=\n", "an empty value is written"},
};

TEST_F(ProfileTest, WritesKeysKeepingEverythingElse) {
    fs::path file = Apps() / "tervano.ini";
    for (const WriteCase& c : kWriteCases) {
        SCOPED_TRACE(c.why);
        fs::remove(file);
        fs::create_directories(Apps());
        if (*c.before != '\0') Write(file, c.before);
        EXPECT_TRUE(win::WritePrivateProfileString(c.section, c.key, c.value, "C:\\Apps\\tervano.ini"));
        EXPECT_EQ(Read(file), c.after);
    }
}

TEST_F(ProfileTest, WrittenValuesReadBack) {
    fs::create_directories(prefix_.DriveC() / "windows");
    ASSERT_TRUE(win::WritePrivateProfileString("mail10", "LastSyncTime", "2035/06/15 10:30", "tervano.ini"));
    ASSERT_TRUE(win::WritePrivateProfileString("mail10", "MaxMessagesToReceive", "-20", "TERVANO.INI"));
    char buffer[100];
    win::GetPrivateProfileString("mail10", "LastSyncTime", "1990/01/01 00:00", buffer, sizeof buffer, "tervano.ini");
    EXPECT_STREQ(buffer, "2035/06/15 10:30");
    EXPECT_EQ(win::GetPrivateProfileInt("mail10", "MaxMessagesToReceive", 1000, "tervano.ini"), -20);
    EXPECT_TRUE(fs::exists(prefix_.DriveC() / "windows" / "tervano.ini"));
}

TEST_F(ProfileTest, RefusesWritesThatWouldChangeTheFilesStructure) {
    fs::path file = Apps() / "tervano.ini";
    Write(file, "[mail10]\nSendMail=1\n");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
        const char* why;
    } cases[] = {
        {"mail10", "InboxName", "Inbox\n[Evil]", "line break in the value"},
        {"mail10", "Inbox\rName", "x", "line break in the key"},
        {"mail10", "a=b", "x", "'=' in the key"},
        {"mail10", "[x]", "x", "key looking like a section"},
        {"mail]10", "x", "x", "']' in the section"},
        {"", "x", "x", "empty section"},
        {nullptr, "x", "x", "null section"},
        {"mail10", "  ", "x", "blank key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(win::WritePrivateProfileString(c.section, c.key, c.value, "C:\\Apps\\tervano.ini"));
        EXPECT_EQ(Read(file), "[mail10]\nSendMail=1\n");
    }
    EXPECT_FALSE(win::WritePrivateProfileString("mail10", "x", "1", "C:\\NoSuchFolder\\tervano.ini"));
}

TEST_F(ProfileTest, ConcurrentWritersInTwoProcessesLoseNothing) {
    fs::create_directories(Apps());
    constexpr int kPerWriter = 40;
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = ::fork();
        if (children[w] == 0) {
            bool ok = true;
            for (int i = 0; i < kPerWriter; ++i) {
                std::string key = std::string(w == 0 ? "A" : "B") + std::to_string(i);
                ok = win::WritePrivateProfileString(w == 0 ? "first" : "second", key.c_str(), std::to_string(i).c_str(),
                                                    "C:\\Apps\\tervano.ini") && ok;
            }
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < 2; ++w) {
        for (int i = 0; i < kPerWriter; ++i) {
            std::string key = std::string(w == 0 ? "A" : "B") + std::to_string(i);
            EXPECT_EQ(win::GetPrivateProfileInt(w == 0 ? "first" : "second", key.c_str(), -1, "C:\\Apps\\tervano.ini"), i)
                << key;
        }
    }
}

}  // namespace
