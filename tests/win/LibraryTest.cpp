// Loading libraries by Windows name from the program folder and the prefix's system folders.
#include <gtest/gtest.h>

#include <fstream>

#include "TempPrefix.h"
#include "win/Library.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;

namespace {

using AnswerFn = int (*)();

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        system32_ = prefix_.MakeDir("drive_c/windows/system32");
        programDir_ = prefix_.MakeDir("program");
        fs::copy_file(TESTLIB_42, system32_ / "TestLib.DLL");
    }
    // The answer of the library found for the name, or -1 when none loads.
    int AnswerOf(const char* name, const fs::path& programDirectory) {
        win::HMODULE module = win::LoadLibrary(name, programDirectory);
        if (module == nullptr) return -1;
        auto answer = reinterpret_cast<AnswerFn>(win::GetProcAddress(module, "TestLibAnswer"));
        int result = answer != nullptr ? answer() : -2;
        EXPECT_TRUE(win::FreeLibrary(module));
        return result;
    }
    TempPrefix prefix_;
    fs::path system32_;
    fs::path programDir_;
};

TEST_F(LibraryTest, FindsLibrariesByWindowsNameWithoutRegardToCase) {
    struct Case {
        const char* name;
        int answer;
        const char* why;
    } cases[] = {
        {"TESTLIB.DLL", 42, "system32, other case"},
        {"testlib", 42, "\".dll\" added to a name without extension"},
        {"testlib.", -1, "a trailing dot means no extension"},
        {"C:\\WINDOWS\\System32\\testlib.dll", 42, "a name with a folder"},
        {"C:\\Apps\\testlib.dll", -1, "a folder is searched alone"},
        {"MAPI32.DLL", -1, "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(AnswerOf(c.name, programDir_), c.answer);
    }
    EXPECT_EQ(win::LoadLibrary("MAPI32.DLL", programDir_), nullptr);
    EXPECT_NE(win::LastLoadError().find("MAPI32.DLL"), std::string::npos);
}

TEST_F(LibraryTest, TheProgramFolderComesFirst) {
    fs::copy_file(TESTLIB_7, programDir_ / "testlib.dll");
    EXPECT_EQ(AnswerOf("TestLib.dll", programDir_), 7);
    fs::remove(programDir_ / "testlib.dll");
    EXPECT_EQ(AnswerOf("TestLib.dll", programDir_), 42);
}

TEST_F(LibraryTest, HandlesAreModuleHandlesCountedPerLoad) {
    win::HMODULE first = win::LoadLibrary("testlib.dll", programDir_);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(win::LoadLibrary("TESTLIB.DLL", programDir_), first);
    void* entry = win::GetProcAddress(first, "TestLibAnswer");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(win::ModuleOfAddress(entry), first);
    EXPECT_EQ(win::GetProcAddress(first, "NoSuchEntry"), nullptr);

    EXPECT_TRUE(win::FreeLibrary(first));
    EXPECT_NE(win::GetProcAddress(first, "TestLibAnswer"), nullptr);  // one load remains
    EXPECT_TRUE(win::FreeLibrary(first));
    EXPECT_EQ(win::GetProcAddress(first, "TestLibAnswer"), nullptr);
    EXPECT_FALSE(win::FreeLibrary(first));
}

TEST_F(LibraryTest, AFileThatIsNoLibraryIsRefused) {
    std::ofstream(system32_ / "broken.dll") << "not a shared object";
    EXPECT_EQ(win::LoadLibrary("BROKEN.DLL", programDir_), nullptr);
    EXPECT_FALSE(win::LastLoadError().empty());
}

}  // namespace
