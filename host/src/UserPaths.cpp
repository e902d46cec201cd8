// User folders, desktop file paths and the desktop file's lock.
#include "host/UserPaths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "win/Paths.h"

namespace host {

std::string UserFolderName(const std::string& userName) {
    std::string folder;
    for (const char c : userName) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool unfit = u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c) != nullptr;
        folder.push_back(unfit ? '_' : c);
    }
    if (folder == "." || folder == "..") folder = "_";
    return folder;
}

std::string UserFolder(const std::string& userName) {
    return std::string(kPilotFolder) + UserFolderName(userName) + "\\";
}

std::string DesktopFilePath(const std::string& userName, const std::string& directory, const std::string& file) {
    return UserFolder(userName) + directory + "\\" + file;
}

std::filesystem::path DesktopLockPath(const std::string& desktopWindowsPath) {
    std::filesystem::path path = win::HostPath(desktopWindowsPath);
    path += ".lock";
    return path;
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::string FileLock::Try(const std::filesystem::path& lockFile) {
    if (fd_ >= 0) return {};
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return lockFile.string() + ": cannot open the lock file: " + std::strerror(errno);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return lockFile.string() + ": in use by another tervano command (a HotSync?)";
        return lockFile.string() + ": cannot lock: " + std::strerror(error);
    }
    fd_ = fd;
    return {};
}

}  // namespace host
