// device.ini and the ROM version text: reading, the line-keeping writer, and what each refuses.
#include <gtest/gtest.h>

#include <string>

#include "synckit/DeviceImage.h"

using namespace synckit;

namespace {

TEST(RomVersionTest, TextAndNumberBothWays) {
    struct Case {
        const char* text;
        uint32_t value;
        const char* canonical;
    };
    const Case cases[] = {
        {"3.5", 0x03503000, "3.5"},
        {"1.0", 0x01003000, "1.0"},   // the conduit treats ROM major 1 as an old handheld
        {"4.1.2", 0x04123000, "4.1.2"},
        {"3.5.0", 0x03503000, "3.5"},
        {"255.15.15", 0xFFFF3000, "255.15.15"},
        {"03.5", 0x03503000, "3.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseRomVersion(c.text), c.value);
        EXPECT_EQ(FormatRomVersion(c.value), c.canonical);
        EXPECT_EQ(static_cast<uint8_t>(c.value >> 24), static_cast<uint8_t>(std::stoi(c.text)));  // major on top
    }
    for (const char* bad : {"", "3", "3.", ".5", "0.5", "256.0", "3.16", "3.5.16", "3.5.1.1", "3,5", "3.5b", " 3.5",
                            "-3.5", "3.x", "1000.0"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(ParseRomVersion(bad));
    }
}

TEST(DeviceIniTest, ReadsTheThreeKeys) {
    struct Case {
        const char* what;
        const char* text;
        DeviceInfo expected;
    };
    const Case cases[] = {
        {"plain", "[Device]\nUserName=Ann Smith\nRomVersion=4.1\nLastSyncDesktopId=305419896\n",
         {"Ann Smith", "4.1", 305419896}},
        {"CR LF, blanks, any case, comments", "; owner\r\n[ device ]\r\n  username =  Ann  \r\n# x\r\nROMVERSION=3.5.1\r\n",
         {"Ann", "3.5.1", 0}},
        {"quoted value keeps its blanks", "[Device]\nUserName=\"  Ann \"\n", {"  Ann ", "3.5", 0}},
        {"defaults when keys are missing", "[Device]\n", {"", "3.5", 0}},
        {"empty last sync is never synced", "[Device]\nLastSyncDesktopId=\n", {"", "3.5", 0}},
        {"first key counts, other sections ignored",
         "[Other]\nUserName=no\n[Device]\nUserName=first\nUserName=second\nExtra=1\n", {"first", "3.5", 0}},
        {"no final line end", "[Device]\nUserName=Bo", {"Bo", "3.5", 0}},
        {"canonical ROM text", "[Device]\nRomVersion=3.5.0\n", {"", "3.5", 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DeviceIniResult r = ParseDeviceIni(c.text);
        ASSERT_TRUE(r.info) << r.error;
        EXPECT_EQ(*r.info, c.expected);
    }
}

TEST(DeviceIniTest, RefusesWhatItCannotRead) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"UserName=Ann\n", "no [Device] section"},
        {"", "no [Device] section"},
        {"[Device]\nRomVersion=three\n", "line 2: RomVersion 'three' is not a version like 3.5"},
        {"[Device]\nLastSyncDesktopId=12ab\n", "line 2: LastSyncDesktopId '12ab' is not a decimal number"},
        {"[Device]\nLastSyncDesktopId=4294967296\n", "line 2: LastSyncDesktopId '4294967296' is not a decimal number"},
        {"[Device]\r\n\r\njust words\r\n", "line 3: neither a [section], a key=value line nor a comment"},
        {"[Device\n", "line 1: neither a [section], a key=value line nor a comment"},
        {"[Device]\n=value\n", "line 2: neither a [section], a key=value line nor a comment"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const DeviceIniResult r = ParseDeviceIni(c.text);
        EXPECT_FALSE(r.info);
        EXPECT_EQ(r.error, c.error);
    }
    const DeviceIniResult nul = ParseDeviceIni(std::string("[Device]\nUserName=a\0b\n", 22));
    EXPECT_FALSE(nul.info);
    EXPECT_EQ(nul.error, "file holds a NUL byte");
}

TEST(DeviceIniTest, WriterKeepsOtherLinesAndReadsBack) {
    const DeviceInfo info{"Ann Smith", "4.1", 77};
    struct Case {
        const char* what;
        const char* existing;
        const char* expected;
    };
    const Case cases[] = {
        {"new file", "",
         "; The handheld of this device image: its user, its ROM, its last HotSync partner.\n"
         "[Device]\nUserName=Ann Smith\nRomVersion=4.1\nLastSyncDesktopId=77\n"},
        {"values replaced in place, comments and unknown keys kept",
         "; mine\n[device]\nlastsyncdesktopid=0\nColour=blue\nUserName=Old\n\n[Later]\nRomVersion=1.0\n",
         "; mine\n[device]\nlastsyncdesktopid=77\nColour=blue\nUserName=Ann Smith\nRomVersion=4.1\n\n[Later]\nRomVersion=1.0\n"},
        {"CR LF kept, missing section added", "; only a comment\r\n",
         "; only a comment\r\n\r\n[Device]\r\nUserName=Ann Smith\r\nRomVersion=4.1\r\nLastSyncDesktopId=77\r\n"},
        {"only the first of a key changes", "[Device]\nUserName=a\nUserName=b\nRomVersion=4.1\nLastSyncDesktopId=77\n",
         "[Device]\nUserName=Ann Smith\nUserName=b\nRomVersion=4.1\nLastSyncDesktopId=77\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const auto text = UpdateDeviceIni(c.existing, info, &error);
        ASSERT_TRUE(text) << error;
        EXPECT_EQ(*text, c.expected);
        const DeviceIniResult back = ParseDeviceIni(*text);
        ASSERT_TRUE(back.info) << back.error;
        EXPECT_EQ(*back.info, info);
        // Writing what is already there changes nothing.
        EXPECT_EQ(UpdateDeviceIni(*text, info, nullptr), *text);
    }
}

TEST(DeviceIniTest, WriterQuotesBlanksAndRefusesLineBreaks) {
    for (const char* name : {"  Ann ", "\"quoted\"", "Ann\tB", ""}) {
        SCOPED_TRACE(name);
        const auto text = UpdateDeviceIni("", DeviceInfo{name, "3.5", 0}, nullptr);
        ASSERT_TRUE(text);
        const DeviceIniResult back = ParseDeviceIni(*text);
        ASSERT_TRUE(back.info) << back.error;
        EXPECT_EQ(back.info->userName, name);
    }
    struct Case {
        DeviceInfo info;
        const char* error;
    };
    const Case cases[] = {
        {{"Ann\nRomVersion=9.9", "3.5", 0}, "user name holds a line break or a NUL"},
        {{"Ann\r", "3.5", 0}, "user name holds a line break or a NUL"},
        {{std::string("A\0B", 3), "3.5", 0}, "user name holds a line break or a NUL"},
        {{"Ann", "3.55", 0}, "ROM version '3.55' is not a version like 3.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        std::string error;
        EXPECT_FALSE(UpdateDeviceIni("[Device]\n", c.info, &error));
        EXPECT_EQ(error, c.error);
    }
}

}  // namespace
