// Windows path mapping onto the prefix, and the case-insensitive lookup of existing entries.
#include <gtest/gtest.h>

#include <fstream>

#include "TempPrefix.h"
#include "win/Paths.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;

namespace {

struct MapCase {
    const char* windows;
    const char* host;  // relative to the prefix "/p" unless it starts with '/' or is relative
    const char* why;
};

const MapCase kMapCases[] = {
    {"C:\\Apps\\Mail\\tervano.ini", "/p/drive_c/Apps/Mail/tervano.ini", "drive C: lies in the prefix"},
    {"c:/Apps/Mail/tervano.ini", "/p/drive_c/Apps/Mail/tervano.ini", "lower-case letter, forward slashes"},
    {"C:\\Apps\\Mail\\", "/p/drive_c/Apps/Mail", "trailing backslash dropped"},
    {"C:\\Apps\\\\Mail\\\\\\x", "/p/drive_c/Apps/Mail/x", "repeated separators collapse"},
    {"C:", "/p/drive_c", "a drive alone is its root"},
    {"C:\\", "/p/drive_c", "the root of C:"},
    {"Z:\\etc\\hosts", "/etc/hosts", "Z: is the host's root"},
    {"z:\\", "/", "the host's root itself"},
    {"D:\\data\\box.mbx", "/p/dosdevices/d:/data/box.mbx", "other letters through dosdevices"},
    {"Q:/x", "/p/dosdevices/q:/x", "letter lower-cased in dosdevices"},
    {"tervano.ini", "/p/drive_c/windows/tervano.ini", "bare name lies in the Windows folder"},
    {"\\Apps\\x.dll", "/p/drive_c/Apps/x.dll", "rooted path on the current drive"},
    {"/Apps/x.dll", "/p/drive_c/Apps/x.dll", "rooted with a forward slash"},
    {"C:\\a\\..\\..\\..\\etc\\passwd", "/p/drive_c/etc/passwd", "'..' never climbs above the drive"},
    {"C:\\a\\.\\b\\..\\c", "/p/drive_c/a/c", "'.' dropped, '..' resolved by name"},
    {"Z:\\..\\etc", "/etc", "'..' at the host root stays there"},
    {"dir\\file.txt", "dir/file.txt", "relative with a folder stays relative"},
    {"", "", "empty maps to empty"},
};

TEST(MapWindowsPath, MapsEachFormOfPath) {
    for (const MapCase& c : kMapCases) {
        SCOPED_TRACE(std::string(c.windows) + " (" + c.why + ")");
        EXPECT_EQ(win::MapWindowsPath(c.windows, "/p"), fs::path(c.host));
    }
}

TEST(PrefixRoot, FollowsTheEnvironment) {
    TempPrefix prefix;
    EXPECT_EQ(win::PrefixRoot(), prefix.Root());
}

class HostPathTest : public ::testing::Test {
protected:
    void Touch(const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
    }
    TempPrefix prefix_;
};

TEST_F(HostPathTest, ResolvesExistingEntriesWithoutRegardToCase) {
    fs::path wordpad = prefix_.DriveC() / "Program Files" / "Accessories" / "WordPad.exe";
    Touch(wordpad);
    EXPECT_EQ(win::HostPath("c:\\PROGRAM FILES\\accessories\\wordpad.EXE"), wordpad);
    // Missing parts are kept as given, below the part that was found.
    EXPECT_EQ(win::HostPath("C:\\program files\\New Folder\\Doc.txt"),
              prefix_.DriveC() / "Program Files" / "New Folder" / "Doc.txt");
}

TEST_F(HostPathTest, PrefersTheExactSpellingThenTheSmallestName) {
    Touch(prefix_.DriveC() / "b.txt");
    Touch(prefix_.DriveC() / "B.TXT");
    Touch(prefix_.DriveC() / "B.txt");
    EXPECT_EQ(win::HostPath("C:\\b.txt"), prefix_.DriveC() / "b.txt");
    EXPECT_EQ(win::HostPath("C:\\B.Txt"), prefix_.DriveC() / "B.TXT");
}

TEST_F(HostPathTest, BareNamesResolveInTheWindowsFolder) {
    Touch(prefix_.DriveC() / "Windows" / "TERVANO.INI");
    EXPECT_EQ(win::HostPath("tervano.ini"), prefix_.DriveC() / "Windows" / "TERVANO.INI");
}

}  // namespace
