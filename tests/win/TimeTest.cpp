// The clock seam and the calendar conversions with the platform's daylight saving.
#include <gtest/gtest.h>

#include <cstring>

#include "win/Time.h"

namespace {

TEST(Time, PinnedNowNestsAndRestores) {
    std::time_t real = win::Now();
    {
        win::ScopedFixedNow outer(1000);
        EXPECT_EQ(win::Now(), 1000);
        {
            win::ScopedFixedNow inner(2000);
            EXPECT_EQ(win::Now(), 2000);
        }
        EXPECT_EQ(win::Now(), 1000);
    }
    EXPECT_GE(win::Now(), real);
}

TEST(Time, LocalConversionsFollowTheTimeZoneAndItsDaylightSaving) {
    win::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        int year, month, day, hour, minute;
        std::time_t value;
        const char* text;
        const char* why;
    } cases[] = {
        {1970, 1, 1, 23, 59, 22 * 3600 + 59 * 60, "1970/01/01 23:59", "winter: one hour east"},
        {2035, 6, 15, 10, 30, 2065509000, "2035/06/15 10:30", "summer: daylight saving, two hours east"},
        {2035, 12, 31, 23, 59, 2082754740, "2035/12/31 23:59", "the last minute the sync times allow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::time_t value = win::MakeLocalTime(c.year, c.month, c.day, c.hour, c.minute, 0);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(win::FormatLocalTime(value, "%Y/%m/%d %H:%M"), c.text);
    }
    std::tm normalised{};
    normalised.tm_year = 2035 - 1900;
    normalised.tm_mon = 0;
    normalised.tm_mday = 32;  // 32 January is 1 February
    normalised.tm_isdst = -1;
    EXPECT_NE(win::MakeLocalTime(normalised), -1);
    EXPECT_EQ(normalised.tm_mon, 1);
    EXPECT_EQ(normalised.tm_mday, 1);
}

TEST(Time, FormatTimeNeverRunsPastTheBuffer) {
    win::ScopedTimeZone zone("UTC0");
    std::tm local{};
    ASSERT_TRUE(win::LocalTime(0, local));
    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(win::FormatTime(buffer, 17, "%Y/%m/%d %H:%M", local), 16u);  // exact fit with the zero
    EXPECT_STREQ(buffer, "1970/01/01 00:00");
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(win::FormatTime(buffer, 16, "%Y/%m/%d %H:%M", local), 0u);  // one short
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(buffer[16], '#');
}

}  // namespace
