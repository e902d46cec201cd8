// Whole-file atomic writes and the lock files beside shared files.
#include "AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace win::detail {

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool WriteFileAtomically(const fs::path& target, std::string_view content, unsigned mode) {
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat existing {};
    mode_t wanted = (::stat(target.c_str(), &existing) == 0) ? (existing.st_mode & 07777) : mode;
    bool ok = ::fchmod(fd, wanted) == 0 && WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolder(folder);  // the rename is durable only once the folder itself is flushed
    return true;
}

void SyncFolder(const fs::path& folder) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

bool ReadWholeFile(const fs::path& file, std::string& content, bool* missing) {
    content.clear();
    if (missing != nullptr) *missing = false;
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (missing != nullptr) *missing = (errno == ENOENT);
        return false;
    }
    char chunk[8192];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        content.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

FileLock::FileLock(const fs::path& lockedFile, bool exclusive) {
    std::string lockName = lockedFile.string() + ".lock";
    fd_ = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    int rc;
    do {
        rc = ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

}  // namespace win::detail
