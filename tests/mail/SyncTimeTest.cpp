// Reading and writing the last-sync time texts: fixed field positions, clamps, local time.
#include <gtest/gtest.h>

#include "mail/MailSettings.h"
#include "win/Time.h"

namespace {

TEST(ParseSyncTime, FieldsAreReadFromFixedPositionsAndClamped) {
    struct Case {
        const char* text;
        SyncTimeFields expected;
    };
    const Case cases[] = {
        {"1996/03/21 12:05", {1996, 3, 21, 12, 5}},
        {"2040/06/15 10:30", {2035, 6, 15, 10, 30}},   // above 2036: 2035
        {"2036/12/31 23:59", {2036, 12, 31, 23, 59}},  // 2036 itself stays
        {"1960/00/00 25:70", {1970, 1, 1, 23, 59}},
        {"1969/13/32 24:60", {1970, 12, 31, 23, 59}},
        {"", {1970, 1, 1, 0, 0}},                      // every field missing reads 0
        {"1999/0", {1999, 1, 1, 0, 0}},                // cut inside the month
        {"2001/07/04 9", {2001, 7, 4, 9, 0}},          // only one hour digit present
        {"2001-07-04T08:15", {2001, 7, 4, 8, 15}},     // the separators are not looked at
        {"19x9/ab/07 1x:3", {1970, 1, 7, 1, 3}},       // each field is read as far as it is a number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseSyncTimeFields(c.text), c.expected);
    }
}

TEST(ParseSyncTime, ConvertsTheClampedFieldsAsLocalTime) {
    struct Case {
        const char* zone;
        const char* text;
        std::time_t expected;
    };
    const Case cases[] = {
        {"UTC0", "2040/06/15 10:30", 2065516200},               // 15 June 2035 10:30
        {"UTC0", "1960/00/00 25:70", 86340},                    // 1 January 1970 23:59
        {"UTC0", "1990/01/01 00:00", 631152000},
        // Central Europe: summer time in June (UTC+2), standard time in January (UTC+1); the
        // platform decides which applies.
        {"CET-1CEST,M3.5.0,M10.5.0/3", "2040/06/15 10:30", 2065516200 - 7200},
        {"CET-1CEST,M3.5.0,M10.5.0/3", "1960/00/00 25:70", 86340 - 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.text);
        win::ScopedTimeZone zone(c.zone);
        EXPECT_EQ(ParseSyncTime(c.text), c.expected);
    }
}

TEST(FormatSyncTime, WritesTheFormThatParseSyncTimeReads) {
    win::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::time_t summer = 2065516200 - 7200;
    EXPECT_EQ(FormatSyncTime(summer), "2035/06/15 10:30");
    EXPECT_EQ(ParseSyncTime(FormatSyncTime(summer)), summer);
    // Seconds are not stored: a time read back is the start of its minute.
    EXPECT_EQ(ParseSyncTime(FormatSyncTime(summer + 59)), summer);
}

}  // namespace
