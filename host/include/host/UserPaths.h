// Where a user's desktop data lives: the user folder C:\Pilot\<user>\, the conduit's desktop
// directory inside it, the HotSync log, and the lock that a HotSync holds on the desktop memo file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace host {

inline constexpr char kPilotFolder[] = "C:\\Pilot\\";
inline constexpr char kHotSyncLogName[] = "HotSync.log";

// The folder name for a handheld user name: the characters a Windows file name cannot hold
// (\ / : * ? " < > |, control characters) become '_', and "." or ".." become "_", so no user name
// can lead a path out of C:\Pilot\. "" for an empty name.
std::string UserFolderName(const std::string& userName);

// C:\Pilot\<folder>\ (with the trailing backslash).
std::string UserFolder(const std::string& userName);

// The Windows path of the user's desktop memo file: user folder + directory + "\" + file.
std::string DesktopFilePath(const std::string& userName, const std::string& directory, const std::string& file);

// The host path of the lock file beside a desktop file ("<file>.lock").
std::filesystem::path DesktopLockPath(const std::string& desktopWindowsPath);

// An exclusive lock (flock) on a lock file, held while the object lives. The lock file is created
// when missing and stays behind (it holds nothing). Try returns "" when the lock is held, else why
// not: another holder, or the file could not be made.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    std::string Try(const std::filesystem::path& lockFile);
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace host
