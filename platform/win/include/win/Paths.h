// The prefix (a folder standing in for the Windows machine) and the mapping of Windows paths to
// host paths. The system keeps Windows path rules; a path is mapped only when a file is touched.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace win {

// The prefix folder: $TERVANO_PREFIX when set, else ~/.tervano.
std::filesystem::path PrefixRoot();

// Pure mapping, without touching the disk:
//   C:\dir\file     -> <prefix>/drive_c/dir/file
//   Z:\dir\file     -> /dir/file
//   D:\dir\file     -> <prefix>/dosdevices/d:/dir/file   (other letters, through the links there)
//   file            -> <prefix>/drive_c/windows/file      (a bare name, as the profile calls use)
//   \dir\file       -> <prefix>/drive_c/dir/file          (rooted on the current drive, C:)
// Forward slashes count as separators too; repeated separators collapse. An empty path maps to
// an empty path.
std::filesystem::path MapWindowsPath(std::string_view windowsPath, const std::filesystem::path& prefix);

// MapWindowsPath on PrefixRoot(), then each existing component matched without regard to case,
// as Windows would (the first existing entry that matches wins; missing components are kept as given).
std::filesystem::path HostPath(std::string_view windowsPath);

}  // namespace win
