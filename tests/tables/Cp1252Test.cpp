// Windows-1252 <-> UTF-8 conversion of memo texts and category names.
#include <gtest/gtest.h>

#include <string>

#include "Cp1252.h"

namespace {

using synckit::Cp1252ToUtf8;
using synckit::Utf8ToCp1252;

TEST(Cp1252, EveryByteValueRoundTripsAndGivesValidDistinctUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    // Byte by byte too: no two bytes share a code point, and none turns into '?'.
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(one)), one);
    }
}

TEST(Cp1252, KnownBytesMapToTheirCodePoints) {
    struct Case {
        unsigned char byte;
        std::string utf8;
        const char* what;
    };
    const Case cases[] = {
        {0x00, std::string(1, '\0'), "NUL stays NUL"},
        {0x41, "A", "ASCII"},
        {0x7F, "\x7F", "DEL"},
        {0x80, "\xE2\x82\xAC", "euro sign U+20AC"},
        {0x81, "\xC2\x81", "undefined 0x81 -> U+0081"},
        {0x8D, "\xC2\x8D", "undefined 0x8D -> U+008D"},
        {0x8F, "\xC2\x8F", "undefined 0x8F -> U+008F"},
        {0x90, "\xC2\x90", "undefined 0x90 -> U+0090"},
        {0x9D, "\xC2\x9D", "undefined 0x9D -> U+009D"},
        {0x92, "\xE2\x80\x99", "right single quote U+2019"},
        {0x9F, "\xC5\xB8", "Y diaeresis U+0178"},
        {0xA0, "\xC2\xA0", "no-break space"},
        {0xE9, "\xC3\xA9", "e acute"},
        {0xFF, "\xC3\xBF", "y diaeresis"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string byte(1, static_cast<char>(c.byte));
        EXPECT_EQ(Cp1252ToUtf8(byte), c.utf8);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), byte);
    }
}

// Text written by another tool: what Windows-1252 cannot hold, and malformed UTF-8, becomes '?'
// and the rest of the text survives.
TEST(Cp1252, ForeignUtf8ThatDoesNotFitBecomesQuestionMarks) {
    struct Case {
        std::string utf8;
        std::string bytes;
        const char* what;
    };
    const Case cases[] = {
        {"a\xE2\x82\xACz", "a\x80z", "representable three-byte character"},
        {"a\xE4\xB8\xADz", "a?z", "CJK character"},
        {"a\xF0\x9F\x98\x80z", "a?z", "emoji, four bytes"},
        {"a\xC2\x80z", "a?z", "U+0080 is not a Windows-1252 character"},
        {"a\xC2\x9Ez", "a?z", "U+009E neither (0x9E is z caron)"},
        {"a\xC3z", "a?z", "lead byte without continuation"},
        {"a\x80z", "a?z", "stray continuation byte"},
        {"a\xC0\xAFz", "a??z", "overlong slash"},
        {"a\xED\xA0\x80z", "a???z", "UTF-16 surrogate"},
        {"a\xF4\x90\x80\x80z", "a????z", "above U+10FFFF"},
        {"a\xFFz", "a?z", "0xFF is never UTF-8"},
        {"\xE2\x82", "??", "cut at the end"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.bytes);
    }
}

}  // namespace
