// A mail test's world: a temporary prefix with the App Paths entry, settings and string files
// written into it, a HotSync log and an in-memory handheld with an open memo database, a pinned time
// zone, and the library-wide mail state reset before and after.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TempPrefix.h"
#include "mail/MailSettings.h"
#include "synckit/Category.h"
#include "synckit/Handheld.h"
#include "synckit/HotSyncLog.h"
#include "synckit/MemoryHandheld.h"
#include "synckit/SyncMgr.h"
#include "win/Registry.h"
#include "win/Time.h"

namespace mailtest {

// A string file with what most tests need.
inline constexpr const char* kTestStringFile =
    "[Strings]\r\n1=Outbox\r\n2=Inbox\r\n3=Sent\r\n4=To:\r\n5=Subject:\r\n12=\" (Part %d of %d)\"\r\n"
    "[HotSync]\r\n1=Pilot refused (%d)\r\n20=Pilot full (%d)\r\n16384=Key 16384 (%d)\r\n"
    "[Mail]\r\n7=Database not open (%d)\r\n8=%s%n%d%d\r\n";

class MailFixture : public ::testing::Test {
protected:
    MailFixture() : logScope_(log_), handheldScope_(handheld_), zone_("UTC0") { Mail() = MailState{}; }
    ~MailFixture() override { Mail() = MailState{}; }

    // Sets the App Paths value "Path" (creating the key).
    void SetAppPath(const std::string& value) {
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr),
                  win::ERROR_SUCCESS);
        ASSERT_EQ(win::RegSetValueEx(key, kAppPathsValue, 0, win::REG_SZ,
                                     reinterpret_cast<const win::BYTE*>(value.c_str()),
                                     static_cast<win::DWORD>(value.size() + 1)),
                  win::ERROR_SUCCESS);
        win::RegCloseKey(key);
    }
    // The App Paths key without its "Path" value.
    void CreateAppPathsKeyOnly() {
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegCreateKeyEx(win::HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, win::KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr),
                  win::ERROR_SUCCESS);
        win::RegCloseKey(key);
    }
    // Writes a file below drive C: of the prefix ("Apps/Mail/tervano.ini").
    void WriteDriveC(const std::string& relative, const std::string& content) {
        const std::filesystem::path path = prefix_.DriveC() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    // The usual installation: program directory C:\Apps\Mail\, the given settings (section mail10
    // lines; no settings file when empty) and the test string file.
    void Install(const std::string& mail10Lines, const std::string& stringFile = kTestStringFile) {
        SetAppPath("C:\\Apps\\Mail\\");
        if (!mail10Lines.empty()) WriteDriveC("Apps/Mail/tervano.ini", "[mail10]\r\n" + mail10Lines);
        WriteDriveC("Apps/Mail/tervstr.ini", stringFile);
    }

    // Opens a memo database on the handheld; its handle.
    uint8_t OpenMemoDatabase() {
        handheld_.AddDatabase("MemoDB", 0x6d656d6f, 0x44415441);
        uint8_t handle = 0;
        EXPECT_EQ(SyncOpenDB("MemoDB", 0, handle, kOpenModeReadWrite), 0);
        handheld_.ClearCalls();
        return handle;
    }
    // Adds a handheld category.
    void AddCategory(int index, const std::string& name) {
        auto* category = new CCategory;
        category->SetIndex(index);
        category->SetID(index + 100);
        category->SetName(name);
        ASSERT_EQ(categories_.Add(category), CAT_OK);
    }
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const synckit::LogEntry& e : log_.Entries()) texts.push_back(e.text);
        return texts;
    }
    const synckit::HandheldDatabase& MemoDb() { return *handheld_.FindDatabase("MemoDB"); }

    tervano::test::TempPrefix prefix_;
    synckit::HotSyncLog log_;
    synckit::ScopedHotSyncLog logScope_;
    synckit::MemoryHandheld handheld_;
    synckit::ScopedHandheld handheldScope_;
    win::ScopedTimeZone zone_;
    CCategoryMgr categories_;
};

}  // namespace mailtest
