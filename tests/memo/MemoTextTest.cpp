// Line-end translation between desktop (CR LF) and handheld (LF) memo texts, as tables of cases.
#include <gtest/gtest.h>

#include <string>

#include "memo/MemoText.h"

namespace {

using namespace std::string_literals;

struct TextCase {
    const char* name;
    std::string input;
    std::string expected;
};

class ToHandheldTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ToHandheldTextTest, TranslatesAndMeasuresAlike) {
    const TextCase& c = GetParam();
    EXPECT_EQ(memotext::ToHandheldText(c.input), c.expected);
    EXPECT_EQ(memotext::HandheldTextLength(c.input), c.expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToHandheldTextTest,
    ::testing::Values(
        // CR LF is the desktop line end; the handheld keeps the LF only.
        TextCase{"CrLfBecomesLf", "a\r\nb", "a\nb"},
        TextCase{"Empty", "", ""},
        // No CR at all: taken byte for byte, LFs and high bytes included.
        TextCase{"NoCrUnchanged", "x\ny\t\xE9\xFF", "x\ny\t\xE9\xFF"},
        // A lone CR is dropped: the byte after it takes its place.
        TextCase{"LoneCrDropped", "a\rb", "ab"},
        // Of two CRs in a row the second remains (it is the byte after the first).
        TextCase{"CrCrLfKeepsOneCr", "a\r\r\n", "a\r\n"},
        TextCase{"FourCrsLeaveTwo", "\r\r\r\r", "\r\r"},
        TextCase{"TrailingCrDropped", "ab\r", "ab"},
        TextCase{"SeveralLines", "one\r\ntwo\r\n\r\nthree", "one\ntwo\n\nthree"},
        // The text ends at a NUL, as a handheld text does.
        TextCase{"StopsAtNul", "ab\0cd"s, "ab"},
        TextCase{"CrBeforeNul", "a\r\0b"s, "a"}),
    [](const auto& info) { return std::string(info.param.name); });

class ToDesktopTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ToDesktopTextTest, TranslatesAndMeasuresAlike) {
    const TextCase& c = GetParam();
    EXPECT_EQ(memotext::ToDesktopText(c.input), c.expected);
    EXPECT_EQ(memotext::DesktopTextLength(c.input), c.expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToDesktopTextTest,
    ::testing::Values(
        TextCase{"LfBecomesCrLf", "a\nb", "a\r\nb"},
        TextCase{"Empty", "", ""},
        TextCase{"NoLfUnchanged", "plain \xE9", "plain \xE9"},
        TextCase{"OnlyLfs", "\n\n", "\r\n\r\n"},
        // A CR already on the handheld is kept, so CR LF becomes CR CR LF.
        TextCase{"CrKept", "a\r\nb", "a\r\r\nb"},
        TextCase{"LeadingAndTrailingLf", "\nx\n", "\r\nx\r\n"},
        TextCase{"StopsAtNul", "ab\0\ncd"s, "ab"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every handheld text without CR and NUL comes back unchanged from a trip to the desktop.
TEST(MemoTextRoundTrip, HandheldTextWithoutCrSurvivesDesktopTrip) {
    std::string allBytes;
    for (int b = 1; b < 256; ++b)
        if (b != '\r') allBytes.push_back(static_cast<char>(b));
    const std::string texts[] = {"", "\n", "a\nb", "\n\n\nx\n", allBytes, allBytes + "\n" + allBytes};
    for (const std::string& text : texts) {
        SCOPED_TRACE(testing::PrintToString(text));
        EXPECT_EQ(memotext::ToHandheldText(memotext::ToDesktopText(text)), text);
    }
}

}  // namespace
