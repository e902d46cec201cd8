// File operations on Windows paths (mapped through the prefix, names matched without regard to case).
#pragma once

namespace win {

// Deletes the file; true when it was deleted. false for a null or empty path, a missing file or a
// folder (Windows deletes only files).
bool DeleteFile(const char* windowsPath);
// Copies the file, overwriting the target unless failIfExists; true on success. The copy is written
// beside the target and renamed into place, so the target is never left half-written. false (target
// untouched) when the source is missing or a folder, the target's folder is missing, the target is a
// folder, or failIfExists and the target exists. The copy keeps the source's permissions.
bool CopyFile(const char* fromWindowsPath, const char* toWindowsPath, bool failIfExists);
// True when the path names an existing file (not a folder).
bool FileExists(const char* windowsPath);

}  // namespace win
