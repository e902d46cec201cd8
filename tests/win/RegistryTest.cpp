// The registry over the prefix's REGEDIT4 files: values, lookups, faults, damaged files and
// several processes changing one file at once.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "TempPrefix.h"
#include "win/Registry.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;
using namespace win;

namespace {

constexpr const char* kAppPaths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervano Mail.exe";
constexpr const char* kApplication0 = "Software\\Palm Computing\\Pilot Desktop\\Application0";

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
}

LONG SetDword(HKEY key, const char* name, DWORD number) {
    BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                     static_cast<BYTE>(number >> 24)};
    return RegSetValueEx(key, name, 0, REG_DWORD, bytes, 4);
}

// The value's type and bytes, or the failure code.
struct Read_ {
    LONG rc;
    DWORD type;
    std::string bytes;
};
Read_ Query(HKEY key, const char* name) {
    Read_ r{0, 0, std::string(512, '\0')};
    DWORD size = 512;
    r.rc = RegQueryValueEx(key, name, nullptr, &r.type, reinterpret_cast<BYTE*>(r.bytes.data()), &size);
    r.bytes.resize(r.rc == ERROR_SUCCESS ? size : 0);
    return r;
}

// Opens root\path with the access; null when it cannot.
HKEY Open(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    return RegOpenKeyEx(root, path, 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

HKEY Create(HKEY root, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition), ERROR_SUCCESS);
    return key;
}

class RegistryTest : public ::testing::Test {
protected:
    fs::path UserReg() const { return prefix_.Root() / "user.reg"; }
    fs::path SystemReg() const { return prefix_.Root() / "system.reg"; }
    TempPrefix prefix_;
};

TEST_F(RegistryTest, WritesTheApplicationEntryInRegedit4Form) {
    DWORD disposition = 0;
    HKEY key = Create(HKEY_CURRENT_USER, kApplication0, &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    EXPECT_EQ(SetString(key, "Conduit", "C:\\Apps\\\"Mail\"\\tervano2.dll"), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(key, "Creator", 0x6D656D6F), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "Directory", ""), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, nullptr, "default"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "Conduit", "tervano2.dll"), ERROR_SUCCESS);  // rewritten in its place
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(Read(UserReg()),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Palm Computing]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Palm Computing\\Pilot Desktop]\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Palm Computing\\Pilot Desktop\\Application0]\n"
              "\"Conduit\"=\"tervano2.dll\"\n"
              "\"Creator\"=dword:6d656d6f\n"
              "\"Directory\"=\"\"\n"
              "@=\"default\"\n"
              "\n");
    EXPECT_FALSE(fs::exists(SystemReg()));
}

TEST_F(RegistryTest, ValuesRoundTripWithTheirTypesAndSizes) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, kAppPaths);
    const std::string binary("\x01\x00\xff", 3);
    const std::string controlText = "line one\r\nline\ttwo";
    ASSERT_EQ(SetString(key, "Path", "C:\\Apps\\Tervano Mail\\Tervano Mail.exe"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Empty", ""), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "Control", controlText), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, "Zero", 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(binary.data()), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key, "Unterminated", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    RegCloseKey(key);

    // Read back through a fresh handle, names in another case, so nothing comes from memory.
    key = Open(HKEY_LOCAL_MACHINE, "software\\MICROSOFT\\windows\\currentversion\\app paths\\TERVANO MAIL.EXE",
               KEY_READ);
    ASSERT_NE(key, nullptr);
    struct Case {
        const char* name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"PATH", REG_SZ, std::string("C:\\Apps\\Tervano Mail\\Tervano Mail.exe") + '\0'},
        {"empty", REG_SZ, std::string("\0", 1)},  // the zero counts: one byte
        {"Control", REG_SZ, controlText + std::string("\0", 1)},
        {"Zero", REG_DWORD, std::string("\0\0\0\0", 4)},
        {"Blob", REG_BINARY, binary},
        {"Unterminated", REG_SZ, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Read_ r = Query(key, c.name);
        EXPECT_EQ(r.rc, ERROR_SUCCESS);
        EXPECT_EQ(r.type, c.type);
        EXPECT_EQ(r.bytes, c.bytes);
    }
    RegCloseKey(key);
}

TEST_F(RegistryTest, ReadsAHandWrittenFile) {
    Write(SystemReg(),
          "REGEDIT4\r\n"
          "\r\n"
          "; written by hand\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervano Mail.exe]\r\n"
          "\"Path\"=\"C:\\\\Apps\\\\Mail\\\\\"\r\n"
          "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
          "\"Long\"=hex:01,02,\\\r\n"
          "  03,04\r\n"
          "\"Number\"=dword:0000002a\r\n"
          "\"Number\"=dword:2b\r\n");
    HKEY key = Open(HKEY_LOCAL_MACHINE, kAppPaths);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Query(key, "Path").bytes, std::string("C:\\Apps\\Mail\\\0", 14));
    EXPECT_EQ(Query(key, "Quote").bytes, std::string("say \"hi\"\0", 9));
    EXPECT_EQ(Query(key, "Long").bytes, std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(Query(key, "Number").bytes, std::string("\x2b\0\0\0", 4));  // the later line wins
    RegCloseKey(key);
    // A key known only from the keys below it can be opened too.
    key = Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft");
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
}

TEST_F(RegistryTest, MissingKeysValuesAndSmallBuffers) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kApplication0, 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    key = Create(HKEY_CURRENT_USER, kApplication0);
    EXPECT_EQ(Query(key, "AppName").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Palm Computing\\Pilot Desktop\\Application1", 0,
                           KEY_ALL_ACCESS, &key),
              ERROR_FILE_NOT_FOUND);
    key = Open(HKEY_CURRENT_USER, kApplication0);
    ASSERT_EQ(SetString(key, "AppName", "Tervano Mail v1"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "AppName", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(type, REG_SZ);

    char buffer[32];
    std::memset(buffer, '#', sizeof buffer);
    size = 15;  // one short of the zero
    EXPECT_EQ(RegQueryValueEx(key, "AppName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(buffer[0], '#');
    size = 16;
    EXPECT_EQ(RegQueryValueEx(key, "AppName", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "Tervano Mail v1");
    EXPECT_EQ(buffer[16], '#');

    EXPECT_EQ(RegDeleteValue(key, "appname"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "AppName"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(RegistryTest, HandlesAndDeletedKeys) {
    HKEY key = Create(HKEY_CURRENT_USER, kApplication0);
    HKEY parent = Open(HKEY_CURRENT_USER, "Software\\Palm Computing\\Pilot Desktop");
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Palm Computing"), ERROR_ACCESS_DENIED);  // has subkeys
    EXPECT_EQ(RegDeleteKey(parent, "APPLICATION0"), ERROR_SUCCESS);
    EXPECT_EQ(Query(key, "AppName").rc, ERROR_KEY_DELETED);
    EXPECT_EQ(SetString(key, "AppName", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteKey(parent, "Application0"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Query(key, "AppName").rc, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(parent), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, kApplication0, 0, nullptr, 0, KEY_READ, nullptr, &readOnly, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetString(readOnly, "AppName", "x"), ERROR_ACCESS_DENIED);  // the handle lacks the right
    RegCloseKey(readOnly);
    HKEY broken = nullptr;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Bad\nName", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &broken, nullptr),
              ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, FaultsRefuseOpensCreationsAndWritesWhileTheyLive) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, kAppPaths));
    HKEY hotsync = Create(HKEY_CURRENT_USER, kApplication0);
    {
        // Full access refused, reading still allowed: the configuration program's open fails.
        auto denial = DenyRegistryAccess(KEY_SET_VALUE, "HKEY_LOCAL_MACHINE\\software\\Microsoft");
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kAppPaths, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
        EXPECT_EQ(key, nullptr);
        key = Open(HKEY_LOCAL_MACHINE, kAppPaths, KEY_READ);
        EXPECT_NE(key, nullptr);
        RegCloseKey(key);
        key = Open(HKEY_CURRENT_USER, kApplication0);  // another part of the registry
        EXPECT_NE(key, nullptr);
        RegCloseKey(key);

        ScopedRegistryFault valueFault(RegistryFault{0, "", "Creator", false, ERROR_ACCESS_DENIED});
        EXPECT_EQ(SetString(hotsync, "Conduit", "tervano2.dll"), ERROR_SUCCESS);
        EXPECT_EQ(SetDword(hotsync, "Creator", 1), ERROR_ACCESS_DENIED);
        EXPECT_EQ(Query(hotsync, "Creator").rc, ERROR_FILE_NOT_FOUND);

        ScopedRegistryFault createFault(RegistryFault{0, "HKEY_CURRENT_USER", "", true, ERROR_ACCESS_DENIED});
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 nullptr),
                  ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\New", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
        HKEY existing = Create(HKEY_CURRENT_USER, kApplication0);  // opening an existing one is no creation
        RegCloseKey(existing);
    }
    HKEY key = Open(HKEY_LOCAL_MACHINE, kAppPaths);
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
    EXPECT_EQ(SetDword(hotsync, "Creator", 1), ERROR_SUCCESS);
    RegCloseKey(hotsync);
}

TEST_F(RegistryTest, DamagedFilesAreRefusedAndLeftAsTheyWere) {
    struct Case {
        const char* text;
        const char* line;  // the part of the message that says where
        const char* why;
    } cases[] = {
        {"REGEDIT5\n\n", "line 1", "wrong header"},
        {"\"Path\"=\"x\"\n", "line 1", "no header at all"},
        {"REGEDIT4\n\n\"Path\"=\"x\"\n", "line 3", "value before any section"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Path\"=oops\n", "line 4", "unknown value form"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Path\"=\"C:\\Apps\"\n", "line 4", "unescaped backslash"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Path\"=\"open\n", "line 4", "unterminated string"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\n", "line 3", "section without ']'"},
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n", "line 3", "section of the other root"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"N\"=dword:123456789\n", "line 4", "dword too long"},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\nstray text\n", "line 4", "stray line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Write(SystemReg(), c.text);
        testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                 nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(RegSetValueEx(HKEY_LOCAL_MACHINE, "Root", 0, REG_DWORD, reinterpret_cast<const BYTE*>("\1\0\0\0"), 4),
                  ERROR_BADDB);
        std::string message = testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(SystemReg().string()), std::string::npos) << message;
        EXPECT_NE(message.find(c.line), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << "reported once: " << message;
        EXPECT_EQ(Read(SystemReg()), c.text);
        // The other root's file is not affected.
        HKEY user = Create(HKEY_CURRENT_USER, "Software");
        EXPECT_NE(user, nullptr);
        RegCloseKey(user);
        // Once mended, the file reads again and a later damage is reported afresh.
        Write(SystemReg(), "REGEDIT4\n\n");
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    }
}

// Runs body in a child process; its exit status (0 when body returns true).
pid_t Spawn(const std::function<bool()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RegistryTest, AValueWrittenByOneProcessIsReadByAnother) {
    pid_t child = Spawn([] {
        HKEY key = nullptr;
        if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, kAppPaths, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) {
            return false;
        }
        return SetString(key, "Path", "C:\\Apps\\Mail\\") == ERROR_SUCCESS;
    });
    ASSERT_EQ(Wait(child), 0);
    HKEY key = Open(HKEY_LOCAL_MACHINE, kAppPaths, KEY_READ);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Query(key, "Path").bytes, std::string("C:\\Apps\\Mail\\\0", 14));
    RegCloseKey(key);
}

TEST_F(RegistryTest, ConcurrentWritersInTwoProcessesLoseNothing) {
    constexpr int kPerWriter = 60;
    auto writer = [](const char* tag) {
        return [tag] {
            HKEY key = nullptr;
            if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               nullptr) != 0) {
                return false;
            }
            for (int i = 0; i < kPerWriter; ++i) {
                std::string name = std::string(tag) + std::to_string(i);
                if (SetDword(key, name.c_str(), static_cast<DWORD>(i)) != ERROR_SUCCESS) return false;
                // A key of its own now and then, so creations interleave with value writes.
                if (i % 10 == 0) {
                    HKEY sub = nullptr;
                    std::string path = "Software\\" + name;
                    if (RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub,
                                       nullptr) != 0) {
                        return false;
                    }
                    RegCloseKey(sub);
                }
            }
            return RegCloseKey(key) == ERROR_SUCCESS;
        };
    };
    pid_t a = Spawn(writer("A"));
    pid_t b = Spawn(writer("B"));
    ASSERT_EQ(Wait(a), 0);
    ASSERT_EQ(Wait(b), 0);

    HKEY key = Open(HKEY_CURRENT_USER, "Software\\Shared", KEY_READ);
    ASSERT_NE(key, nullptr);
    for (const char* tag : {"A", "B"}) {
        for (int i = 0; i < kPerWriter; ++i) {
            std::string name = std::string(tag) + std::to_string(i);
            Read_ r = Query(key, name.c_str());
            ASSERT_EQ(r.rc, ERROR_SUCCESS) << name;
            EXPECT_EQ(r.bytes, std::string({static_cast<char>(i), 0, 0, 0})) << name;
            if (i % 10 == 0) {
                HKEY sub = Open(HKEY_CURRENT_USER, ("Software\\" + name).c_str(), KEY_READ);
                EXPECT_NE(sub, nullptr) << name;
                RegCloseKey(sub);
            }
        }
    }
    RegCloseKey(key);
    // Nothing is left behind but the file and its lock.
    size_t entries = static_cast<size_t>(
        std::distance(fs::directory_iterator(prefix_.Root()), fs::directory_iterator()));
    EXPECT_EQ(entries, 2u);
}

}  // namespace
