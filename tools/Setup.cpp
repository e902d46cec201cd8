// `tervano setup`: makes or refreshes a prefix, so the sync host finds the conduit and the conduit
// finds its program directory, settings and texts. A second run changes nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <system_error>

#include "Args.h"
#include "Commands.h"
#include "host/Registry.h"
#include "win/Paths.h"
#include "win/Registry.h"

namespace fs = std::filesystem;

namespace tools {
namespace {

constexpr char kProgramDirectory[] = "C:\\Program Files\\Tervano Mail\\";
constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Tervano Mail.exe";
constexpr char kProgramPath[] = "C:\\Program Files\\Tervano Mail\\Tervano Mail.exe";
constexpr char kInstaller[] = "inscn20.dll";
constexpr char kConduitFile[] = "tervano2.dll";
constexpr char kAppName[] = "Tervano Mail v1";
constexpr char kWordPad[] = "C:\\Program Files\\Accessories\\WordPad.exe";

constexpr char kSetupUsage[] =
    "usage: tervano setup\n"
    "\n"
    "Makes or refreshes the prefix ($TERVANO_PREFIX, or ~/.tervano): the program directory\n"
    "C:\\Program Files\\Tervano Mail\\ with the conduit (tervano2.dll), the string file and the\n"
    "settings file tervano.ini (made only when missing); the App Paths entry of Tervano Mail.exe;\n"
    "HotSync Manager's key with its installer value and this desktop's id; the memo conduit's\n"
    "application entry; and the WordPad stand-in that opens the user's guide. Running it again\n"
    "changes nothing unless the built conduit or the string file changed.\n";

// The settings the conduit reads when the configuration program has not written them yet. Mail is
// off until a mail system is chosen there, so a HotSync does not try one that is not set up.
constexpr char kDefaultSettings[] =
    "; Settings of Tervano Mail, read by the conduit at every HotSync and written by the\n"
    "; configuration program. Made by `tervano setup`; it is never overwritten.\n"
    "[mail10]\n"
    "StringFile=tervstr.ini\n"
    "SendMail=0\n"
    "MoveSentMailToSent=1\n"
    "ReceiveMail=0\n"
    "MaxMessagesToReceive=1000\n"
    "ReceiveOnlyUnreadMessages=0\n"
    "MarkReceivedMessagesAsRead=0\n"
    "ShowSenderInHeadline=0\n"
    "OnlyReceiveNewMessages=1\n"
    "UseDefaultProfile=1\n"
    "ForceDownload=0\n"
    "InboxName=Inbox\n"
    "OutboxName=Outbox\n"
    "SentName=Sent\n"
    "NetscapeMail=0\n"
    "NetscapeFolderName=Inbox\n"
    "NetscapeOnlyFlagged=0\n";

// The WordPad stand-in: maps its Windows argument by the prefix's rules and opens it with the
// desktop's viewer, or prints the host path when there is none.
constexpr char kWordPadScript[] =
    "#!/bin/sh\n"
    "# WordPad stand-in made by `tervano setup`: opens the document named by its Windows path with\n"
    "# the desktop's own viewer (xdg-open), or prints the host path when there is none.\n"
    "prefix=${TERVANO_PREFIX:-$HOME/.tervano}\n"
    "map() {\n"
    "  p=$(printf '%s' \"$1\" | tr '\\\\' '/')\n"
    "  case \"$p\" in\n"
    "    [cC]:*) printf '%s/drive_c%s' \"$prefix\" \"${p#??}\" ;;\n"
    "    [zZ]:*) printf '%s' \"${p#??}\" ;;\n"
    "    [a-zA-Z]:*) d=$(printf '%s' \"$p\" | cut -c1 | tr 'A-Z' 'a-z')\n"
    "                printf '%s/dosdevices/%s:%s' \"$prefix\" \"$d\" \"${p#??}\" ;;\n"
    "    /*) printf '%s/drive_c%s' \"$prefix\" \"$p\" ;;\n"
    "    */*) printf '%s' \"$p\" ;;\n"
    "    *) printf '%s/drive_c/windows/%s' \"$prefix\" \"$p\" ;;\n"
    "  esac\n"
    "}\n"
    "[ $# -ge 1 ] || { echo \"usage: WordPad DOCUMENT\" >&2; exit 2; }\n"
    "path=$(map \"$1\")\n"
    "if command -v xdg-open >/dev/null 2>&1 && [ -n \"${DISPLAY}${WAYLAND_DISPLAY}\" ]; then\n"
    "  exec xdg-open \"$path\"\n"
    "fi\n"
    "printf '%s\\n' \"$path\"\n";

std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

fs::path ExecutableDirectory() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

// The built conduit: the installed layout beside the command first, then the build tree.
fs::path FindConduit() {
    std::error_code ec;
    const fs::path installed = ExecutableDirectory() / ".." / "lib" / "tervano" / "tervano2.so";
    if (fs::exists(installed, ec)) return installed;
    return fs::path(TERVANO_BUILT_MODULE);
}

fs::path FindStringFile() {
    std::error_code ec;
    const fs::path installed = ExecutableDirectory() / ".." / "share" / "tervano" / "tervstr.ini";
    if (fs::exists(installed, ec)) return installed;
    return fs::path(TERVANO_SOURCE_STRING_FILE);
}

// Puts bytes at target unless it holds them already: "created", "updated" or "unchanged".
std::string PlaceFile(const fs::path& target, const std::string& bytes, fs::perms perms, std::string& error) {
    const std::optional<std::string> existing = ReadFile(target);
    if (existing && *existing == bytes) return "unchanged";
    const fs::path temporary = target.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.flush();
        if (!out) {
            error = temporary.string() + ": cannot be written";
            return {};
        }
    }
    std::error_code ec;
    fs::permissions(temporary, perms, ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        error = target.string() + ": cannot be written: " + ec.message();
        return {};
    }
    return existing ? "updated" : "created";
}

class Key {
public:
    ~Key() {
        if (key_ != nullptr) win::RegCloseKey(key_);
    }
    win::LONG Create(win::HKEY root, const char* path) {
        return win::RegCreateKeyEx(root, path, 0, nullptr, 0, win::KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    win::LONG Open(win::HKEY root, const std::string& path) {
        return win::RegOpenKeyEx(root, path.c_str(), 0, win::KEY_ALL_ACCESS, &key_);
    }
    win::HKEY get() const { return key_; }

private:
    win::HKEY key_ = nullptr;
};

win::LONG SetString(win::HKEY key, const char* name, const std::string& value) {
    return win::RegSetValueEx(key, name, 0, win::REG_SZ, reinterpret_cast<const win::BYTE*>(value.c_str()),
                              static_cast<win::DWORD>(value.size() + 1));
}

win::LONG SetDword(win::HKEY key, const char* name, win::DWORD value) {
    return win::RegSetValueEx(key, name, 0, win::REG_DWORD, reinterpret_cast<const win::BYTE*>(&value), sizeof value);
}

std::optional<std::string> GetString(win::HKEY key, const char* name) {
    char buffer[1024] = {};
    win::DWORD size = sizeof buffer - 1;
    win::DWORD type = 0;
    if (win::RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<win::BYTE*>(buffer), &size) != win::ERROR_SUCCESS ||
        type != win::REG_SZ)
        return std::nullopt;
    return std::string(buffer);
}

std::string RegistryError(const std::string& what, win::LONG code) {
    return what + " failed (registry error " + std::to_string(code) + ")";
}

// The App Paths entry, written only when it differs.
std::string SetUpAppPaths(std::ostream& out) {
    Key key;
    if (const win::LONG r = key.Create(win::HKEY_LOCAL_MACHINE, kAppPathsKey); r != win::ERROR_SUCCESS)
        return RegistryError("creating HKEY_LOCAL_MACHINE\\" + std::string(kAppPathsKey), r);
    const bool same = GetString(key.get(), "Path") == std::string(kProgramPath);
    if (!same)
        if (const win::LONG r = SetString(key.get(), "Path", kProgramPath); r != win::ERROR_SUCCESS)
            return RegistryError("writing the App Paths entry", r);
    out << "  App Paths entry of Tervano Mail.exe: " << (same ? "unchanged" : "written") << "\n";
    return {};
}

// HotSync Manager's key: its installer value and, made once, this desktop's id.
std::string SetUpHotSyncManager(std::ostream& out) {
    Key key;
    if (const win::LONG r = key.Create(win::HKEY_CURRENT_USER, host::kHotSyncManagerKey); r != win::ERROR_SUCCESS)
        return RegistryError("creating HKEY_CURRENT_USER\\" + std::string(host::kHotSyncManagerKey), r);
    const bool same = GetString(key.get(), host::kInstallConduitValue) == std::string(kInstaller);
    if (!same)
        if (const win::LONG r = SetString(key.get(), host::kInstallConduitValue, kInstaller); r != win::ERROR_SUCCESS)
            return RegistryError("writing InstallConduit", r);
    out << "  HotSync Manager key: " << (same ? "unchanged" : "written");
    if (const std::optional<uint32_t> id = host::ReadDesktopId()) {
        out << " (desktop id " << *id << ")\n";
        return {};
    }
    std::random_device random;
    std::uniform_int_distribution<uint32_t> pick(1, 0xFFFFFFFFu);
    const uint32_t id = pick(random);
    if (const win::LONG r = SetDword(key.get(), host::kDesktopIdValue, id); r != win::ERROR_SUCCESS)
        return RegistryError("writing DesktopId", r);
    out << " (new desktop id " << id << ")\n";
    return {};
}

// The memo conduit's application entry, found and written the way the configuration program's
// registration does: the lowest free ApplicationN, or the one whose AppName is ours; the seven
// values in their order.
std::string SetUpApplicationEntry(std::ostream& out) {
    Key key;
    int index = -1;
    for (int i = 0; i < host::kApplicationEntryCount && index < 0; ++i) {
        const std::string path = host::kApplicationKeyPrefix + std::to_string(i);
        Key probe;
        const win::LONG opened = probe.Open(win::HKEY_CURRENT_USER, path);
        if (opened == win::ERROR_FILE_NOT_FOUND) {
            if (const win::LONG r = key.Create(win::HKEY_CURRENT_USER, path.c_str()); r != win::ERROR_SUCCESS)
                return RegistryError("creating HKEY_CURRENT_USER\\" + path, r);
            index = i;
        } else if (opened != win::ERROR_SUCCESS) {
            return RegistryError("opening HKEY_CURRENT_USER\\" + path, opened);
        } else if (GetString(probe.get(), "AppName") == std::string(kAppName)) {
            if (const win::LONG r = key.Open(win::HKEY_CURRENT_USER, path); r != win::ERROR_SUCCESS)
                return RegistryError("opening HKEY_CURRENT_USER\\" + path, r);
            index = i;
        }
    }
    if (index < 0) return "all 100 application entries belong to other applications; none was changed";
    const std::optional<host::ApplicationEntry> before = host::ReadApplicationEntry(index);
    const std::string conduit = std::string(kProgramDirectory) + kConduitFile;
    struct {
        const char* name;
        const char* text;  // null: the creator number
    } const values[] = {
        {"Conduit", conduit.c_str()}, {"Creator", nullptr},         {"Directory", "memopad"}, {"File0", "memopad.dat"},
        {"Module", "memopad.dll"},    {"Remote0", "MemoDB"},        {"AppName", kAppName},
    };
    for (const auto& value : values) {
        const win::LONG r = value.text != nullptr ? SetString(key.get(), value.name, value.text)
                                                  : SetDword(key.get(), value.name, 0x6D656D6F);
        if (r != win::ERROR_SUCCESS) return RegistryError(std::string("writing ") + value.name, r);
    }
    const bool same = before && before->conduit == conduit && before->creator == 0x6D656D6F &&
                      before->directory == "memopad" && before->file0 == "memopad.dat" &&
                      before->module == "memopad.dll" && before->remote0 == "MemoDB" && before->appName == kAppName;
    out << "  application entry Application" << index << ": " << (same ? "unchanged" : "written") << "\n";
    return {};
}

}  // namespace

std::string SetUpPrefix(std::ostream& out) {
    const fs::path prefix = win::PrefixRoot();
    out << "Prefix " << prefix.string() << "\n";
    std::error_code ec;
    const fs::path programDirectory = win::MapWindowsPath(kProgramDirectory, prefix);
    const fs::path accessories = win::MapWindowsPath("C:\\Program Files\\Accessories", prefix);
    for (const fs::path& dir : {programDirectory, accessories, win::MapWindowsPath("C:\\Pilot", prefix),
                                win::MapWindowsPath("C:\\windows\\system32", prefix)}) {
        fs::create_directories(dir, ec);
        if (ec) return dir.string() + ": cannot be made: " + ec.message();
    }

    std::string error;
    const fs::path conduitSource = FindConduit();
    const std::optional<std::string> conduit = ReadFile(conduitSource);
    if (!conduit) return conduitSource.string() + ": the built conduit cannot be read (build the tervano2 target)";
    const auto executable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec;
    const auto readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
    std::string done = PlaceFile(programDirectory / kConduitFile, *conduit, executable, error);
    if (!error.empty()) return error;
    out << "  conduit " << kProgramDirectory << kConduitFile << ": " << done << "\n";

    const fs::path stringSource = FindStringFile();
    const std::optional<std::string> strings = ReadFile(stringSource);
    if (!strings) return stringSource.string() + ": the string file cannot be read";
    done = PlaceFile(programDirectory / "tervstr.ini", *strings, readable, error);
    if (!error.empty()) return error;
    out << "  string file " << kProgramDirectory << "tervstr.ini: " << done << "\n";

    const fs::path settings = programDirectory / "tervano.ini";
    if (fs::exists(settings, ec)) {
        out << "  settings file " << kProgramDirectory << "tervano.ini: kept\n";
    } else {
        done = PlaceFile(settings, kDefaultSettings, readable, error);
        if (!error.empty()) return error;
        out << "  settings file " << kProgramDirectory << "tervano.ini: created\n";
    }

    done = PlaceFile(win::MapWindowsPath(kWordPad, prefix), kWordPadScript, executable, error);
    if (!error.empty()) return error;
    out << "  WordPad stand-in " << kWordPad << ": " << done << "\n";

    if (error = SetUpAppPaths(out); !error.empty()) return error;
    if (error = SetUpHotSyncManager(out); !error.empty()) return error;
    return SetUpApplicationEntry(out);
}

int RunSetup(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, {}, {}, error);
    if (!args) return Fail("setup", error + "\n" + kSetupUsage, 2);
    if (args->Has("help")) {
        std::cout << kSetupUsage;
        return 0;
    }
    if (!args->words.empty()) return Fail("setup", "unexpected word \"" + args->words.front() + "\"\n" + kSetupUsage, 2);
    if (error = SetUpPrefix(std::cout); !error.empty()) return Fail("setup", error);
    return 0;
}

int Fail(const std::string& command, const std::string& message, int status) {
    std::cerr << "tervano " << command << ": " << message;
    if (message.empty() || message.back() != '\n') std::cerr << "\n";
    return status;
}

}  // namespace tools
