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
// Forward slashes count as separators too; repeated separators collapse; a trailing separator is
// dropped. "." parts are dropped and ".." parts are resolved by name, never above the root of the
// drive (so no path climbs out of the prefix). A drive letter is matched without regard to case; "C:"
// alone is the drive's root. A relative path with a folder ("dir\file") stays relative to the current
// directory of the process. An empty path maps to an empty path.
std::filesystem::path MapWindowsPath(std::string_view windowsPath, const std::filesystem::path& prefix);

// MapWindowsPath on PrefixRoot(), then each existing component matched without regard to case,
// as Windows would (the first existing entry that matches wins; missing components are kept as given).
// An exact match is taken first; among entries differing only in case the smallest name wins. The
// prefix itself is used as given. Case is folded for the ASCII letters only.
std::filesystem::path HostPath(std::string_view windowsPath);

}  // namespace win
