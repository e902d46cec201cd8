// Internal to the layer: a Windows path cut into the host folder it starts from and its components,
// shared by the path mapping and the case-insensitive lookups of the other services.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace win::detail {

struct WindowsPathParts {
    bool valid = false;               // false for an empty path
    std::filesystem::path base;       // drive folder, "/" for Z:, windows folder, or empty (relative)
    std::vector<std::string> components;
};

WindowsPathParts SplitWindowsPath(std::string_view path, const std::filesystem::path& prefix);

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
// Case-insensitive comparison of names as Windows makes it for the ASCII letters.
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace win::detail
