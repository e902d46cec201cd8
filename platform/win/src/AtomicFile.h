// Internal to the layer: writing a whole file atomically (temporary file beside it, fsync, rename)
// and the exclusive/shared advisory locks the registry and profile files are changed under.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace win::detail {

// Writes content to a temporary file in the target's folder, flushes it to disk and renames it over
// the target, so a reader sees the old file or the new one, never a part. The folder must exist.
// mode is used for a new file; an existing target keeps its permissions. false on any failure (the
// target is then unchanged and no temporary file is left).
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view content, unsigned mode = 0644);

// Flushes the folder itself, which makes a rename or link into it durable. Best effort: a folder
// that cannot be opened or flushed is left as it is.
void SyncFolder(const std::filesystem::path& folder);

// Reads the whole file; false when it cannot be opened or read (missing is reported via *missing).
bool ReadWholeFile(const std::filesystem::path& file, std::string& content, bool* missing = nullptr);

// An advisory lock held on "<file>.lock" for as long as the object lives. Exclusive for changes,
// shared for reads. Locked() is false when the lock file could not be created or locked.
class FileLock {
public:
    FileLock(const std::filesystem::path& lockedFile, bool exclusive);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace win::detail
