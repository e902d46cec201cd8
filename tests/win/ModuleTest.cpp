// Module handles and the bounded load of string resources.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "win/Module.h"

namespace {

int MarkerOne() { return 1; }
int MarkerTwo() { return 2; }

const win::StringResource kTable[] = {{3303, "Memo Pad"}, {3304, ""}};

TEST(ModuleOfAddress, GivesOneHandlePerLoadedObject) {
    win::HMODULE self = win::ModuleOfAddress(reinterpret_cast<const void*>(&MarkerOne));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(win::ModuleOfAddress(reinterpret_cast<const void*>(&MarkerTwo)), self);
    EXPECT_NE(win::ModuleOfAddress(reinterpret_cast<const void*>(&std::strlen)), self);
    EXPECT_EQ(win::ModuleOfAddress(nullptr), nullptr);
}

TEST(LoadString, CutsToTheBufferAndNeverWritesPastIt) {
    win::HMODULE module = win::ModuleOfAddress(reinterpret_cast<const void*>(&MarkerOne));
    win::RegisterStringTable(module, kTable, 2);
    struct Case {
        uint32_t id;
        int size;
        const char* text;
        int result;
        const char* why;
    } cases[] = {
        {3303, 100, "Memo Pad", 8, "room to spare"},
        {3303, 9, "Memo Pad", 8, "exact fit with the zero"},
        {3303, 8, "Memo Pa", 7, "one short: cut"},
        {3303, 2, "M", 1, "one character"},
        {3303, 1, "", 0, "room for the zero only"},
        {3304, 10, "", 0, "empty text"},
        {9999, 10, "", 0, "unknown id"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        char buffer[120];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(win::LoadString(module, c.id, buffer, c.size), c.result);
        EXPECT_STREQ(buffer, c.text);
        for (size_t i = static_cast<size_t>(c.size); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;
    }
    char untouched[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(win::LoadString(module, 3303, untouched, 0), 0);
    EXPECT_EQ(untouched[0], '#');

    win::UnregisterStringTable(module);
    char buffer[20] = "x";
    EXPECT_EQ(win::LoadString(module, 3303, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
