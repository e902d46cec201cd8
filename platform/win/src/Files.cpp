// File operations on Windows paths: delete, copy (atomic, through a temporary file) and existence.
#include "win/Files.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

namespace win {

bool DeleteFile(const char* windowsPath) {
    if (windowsPath == nullptr || *windowsPath == '\0') return false;
    fs::path host = HostPath(windowsPath);
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return ::unlink(host.c_str()) == 0;
}

bool FileExists(const char* windowsPath) {
    if (windowsPath == nullptr || *windowsPath == '\0') return false;
    struct stat st {};
    return ::stat(HostPath(windowsPath).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

namespace {

bool CopyContents(int in, int out) {
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(in, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        const char* p = chunk;
        while (n > 0) {
            ssize_t w = ::write(out, p, static_cast<size_t>(n));
            if (w < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += w;
            n -= w;
        }
    }
}

}  // namespace

bool CopyFile(const char* fromWindowsPath, const char* toWindowsPath, bool failIfExists) {
    if (fromWindowsPath == nullptr || toWindowsPath == nullptr || *fromWindowsPath == '\0' ||
        *toWindowsPath == '\0') {
        return false;
    }
    fs::path from = HostPath(fromWindowsPath);
    fs::path to = HostPath(toWindowsPath);

    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st {};
    if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(in);
        return false;
    }
    struct stat target {};
    if (::stat(to.c_str(), &target) == 0 && (failIfExists || S_ISDIR(target.st_mode))) {
        ::close(in);
        return false;
    }

    fs::path folder = to.parent_path();
    if (folder.empty()) folder = ".";
    std::string temp = (folder / ("." + to.filename().string() + ".XXXXXX")).string();
    int out = ::mkstemp(temp.data());
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = ::fchmod(out, st.st_mode & 07777) == 0 && CopyContents(in, out) && ::fsync(out) == 0;
    ok = (::close(out) == 0) && ok;
    ::close(in);
    if (ok) {
        // link() refuses an existing target, so "fail if it exists" holds even against a file
        // that appeared since the check above; otherwise the rename replaces it in one step.
        if (failIfExists) {
            ok = ::link(temp.c_str(), to.c_str()) == 0;
            ::unlink(temp.c_str());
        } else {
            ok = ::rename(temp.c_str(), to.c_str()) == 0;
            if (!ok) ::unlink(temp.c_str());
        }
    } else {
        ::unlink(temp.c_str());
    }
    if (ok) detail::SyncFolder(folder);  // the new name is durable only once the folder is flushed
    return ok;
}

}  // namespace win
