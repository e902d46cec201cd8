// Copying, deleting and testing files by Windows path.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "TempPrefix.h"
#include "win/Files.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;

namespace {

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

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        Write(prefix_.DriveC() / "Apps" / "Memo.dat", std::string("memo\0data", 9));
        fs::create_directories(prefix_.DriveC() / "Backup");
    }
    size_t EntriesIn(const fs::path& dir) {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
    TempPrefix prefix_;
};

TEST_F(FilesTest, CopyWritesTheWholeFileAndLeavesNoTemporary) {
    ASSERT_TRUE(win::CopyFile("C:\\apps\\memo.dat", "C:\\Backup\\Memo.bak", false));
    EXPECT_EQ(Read(prefix_.DriveC() / "Backup" / "Memo.bak"), std::string("memo\0data", 9));
    EXPECT_EQ(EntriesIn(prefix_.DriveC() / "Backup"), 1u);
}

TEST_F(FilesTest, CopyReplacesOrKeepsAnExistingTarget) {
    fs::path target = prefix_.DriveC() / "Backup" / "Memo.bak";
    Write(target, "old");
    EXPECT_FALSE(win::CopyFile("C:\\Apps\\Memo.dat", "C:\\Backup\\memo.BAK", true));
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(EntriesIn(target.parent_path()), 1u);
    // Names differing only in case are the same file, so the existing one is replaced.
    EXPECT_TRUE(win::CopyFile("C:\\Apps\\Memo.dat", "C:\\Backup\\memo.BAK", false));
    EXPECT_EQ(Read(target), std::string("memo\0data", 9));
    EXPECT_EQ(EntriesIn(target.parent_path()), 1u);
}

TEST_F(FilesTest, CopyFailsWithoutTouchingAnything) {
    struct Case {
        const char* from;
        const char* to;
        const char* why;
    } cases[] = {
        {"C:\\Apps\\Missing.dat", "C:\\Backup\\x", "source missing"},
        {"C:\\Apps", "C:\\Backup\\x", "source is a folder"},
        {"C:\\Apps\\Memo.dat", "C:\\NoSuchFolder\\x", "target folder missing"},
        {"C:\\Apps\\Memo.dat", "C:\\Backup", "target is a folder"},
        {"", "C:\\Backup\\x", "empty source"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(win::CopyFile(c.from, c.to, false));
        EXPECT_EQ(EntriesIn(prefix_.DriveC() / "Backup"), 0u);
    }
}

TEST_F(FilesTest, DeleteAndExistence) {
    EXPECT_TRUE(win::FileExists("c:\\APPS\\memo.dat"));
    EXPECT_FALSE(win::FileExists("C:\\Apps"));  // a folder is not a file
    EXPECT_FALSE(win::DeleteFile("C:\\Apps"));
    EXPECT_TRUE(fs::is_directory(prefix_.DriveC() / "Apps"));
    EXPECT_TRUE(win::DeleteFile("C:\\Apps\\MEMO.DAT"));
    EXPECT_FALSE(win::FileExists("C:\\Apps\\Memo.dat"));
    EXPECT_FALSE(win::DeleteFile("C:\\Apps\\Memo.dat"));
    EXPECT_FALSE(win::FileExists(nullptr));
}

}  // namespace
