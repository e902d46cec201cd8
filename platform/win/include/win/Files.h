// File operations on Windows paths (mapped through the prefix).
#pragma once

namespace win {

// Deletes the file; true when it was deleted.
bool DeleteFile(const char* windowsPath);
// Copies the file, overwriting the target unless failIfExists; true on success. The copy is written
// beside the target and renamed into place, so the target is never left half-written.
bool CopyFile(const char* fromWindowsPath, const char* toWindowsPath, bool failIfExists);
// True when the path names an existing file.
bool FileExists(const char* windowsPath);

}  // namespace win
