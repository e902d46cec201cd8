// The formatter of string-file texts: integer conversions are filled, everything else stays text.
#include "mail/SafeFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FormatCase {
    const char* format;
    std::vector<int32_t> values;
    const char* expected;
};

std::string FormatWith(const FormatCase& c) {
    switch (c.values.size()) {
        case 0: return mail::SafeFormat(c.format, {});
        case 1: return mail::SafeFormat(c.format, {c.values[0]});
        default: return mail::SafeFormat(c.format, {c.values[0], c.values[1]});
    }
}

TEST(SafeFormat, FillsIntegerConversionsAndLeavesEverythingElseLiteral) {
    const FormatCase cases[] = {
        {"code %d", {5}, "code 5"},
        {"%i and %u", {-2, 7}, "-2 and 7"},
        {"%s", {5}, "%s"},                        // a text conversion would read a pointer
        {"%n", {5}, "%n"},                        // would write through a pointer
        {"%*d", {5}, "%*d"},                      // the width would be taken from a value
        {"%.*d", {5}, "%.*d"},
        {"%d%d", {7}, "7%d"},                     // a conversion beyond the values
        {"%5d|", {42}, "   42|"},
        {"%-3ld|", {7}, "7  |"},
        {"%05.3d", {7}, "  007"},
        {"%+d % d", {3, 4}, "+3  4"},
        {"100%%", {1}, "100%"},
        {"end %", {1}, "end %"},                  // a trailing '%'
        {"%ld vs %d", {3}, "3 vs %d"},
        {"%x %X", {255, 255}, "ff FF"},
        {"%o", {8}, "10"},
        {"%#x", {255}, "0xff"},
        {"%u", {-1}, "4294967295"},               // values are 32-bit, as the result codes
        {"%lx", {-1}, "ffffffff"},
        {"%hd %lld %c %p %f", {1}, "%hd %lld %c %p %f"},
        {"%999d", {1}, "%999d"},                  // a width that asks for too much
        {"%s then %d", {4}, "%s then 4"},         // a literal conversion takes no value
        {" (Part %d of %d)", {2, 3}, " (Part 2 of 3)"},
        {"%l%d", {9}, "%l9"},
        {"no conversion", {}, "no conversion"},
        {"%d", {}, "%d"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(FormatWith(c), c.expected);
    }
}

TEST(SafeFormat, OutputIsBounded) {
    const std::string longText(3000, 'a');
    EXPECT_EQ(mail::SafeFormat(longText, {1}).size(), mail::kSafeFormatMaxLength);
    EXPECT_EQ(mail::SafeFormat("%200d%200d", {1, 2}, 250).size(), 250u);
    EXPECT_EQ(mail::SafeFormat("abcdef", {}, 3), "abc");
}

}  // namespace
