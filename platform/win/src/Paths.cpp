// The prefix folder and the mapping of Windows paths to host paths, with case-insensitive
// resolution of the parts that already exist.
#include "win/Paths.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "PathParts.h"

namespace fs = std::filesystem;

namespace win {

fs::path PrefixRoot() {
    if (const char* prefix = std::getenv("TERVANO_PREFIX"); prefix != nullptr && *prefix != '\0') {
        return fs::path(prefix);
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : ".") / ".tervano";
}

namespace detail {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

WindowsPathParts SplitWindowsPath(std::string_view path, const fs::path& prefix) {
    WindowsPathParts parts;
    if (path.empty()) return parts;

    auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    bool hasDrive = path.size() >= 2 && path[1] == ':' &&
                    ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    std::string_view rest = path;
    bool rooted = false;
    if (hasDrive) {
        char letter = AsciiLower(path[0]);
        rest = path.substr(2);
        // "C:file" is relative to the drive's current directory; the prefix keeps none, so it is
        // taken from the drive's root, as a freshly started process would see it.
        rooted = true;
        if (letter == 'c') {
            parts.base = prefix / "drive_c";
        } else if (letter == 'z') {
            parts.base = fs::path("/");
        } else {
            parts.base = prefix / "dosdevices" / std::string{letter, ':'};
        }
    } else if (isSeparator(path[0])) {
        rooted = true;  // rooted on the current drive, which is always C: here
        parts.base = prefix / "drive_c";
    }

    std::vector<std::string> components;
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && isSeparator(rest[i])) ++i;
        size_t start = i;
        while (i < rest.size() && !isSeparator(rest[i])) ++i;
        if (i == start) break;
        std::string_view name = rest.substr(start, i - start);
        if (name == ".") continue;
        if (name == "..") {
            // Lexical, as Windows resolves it: never above the root of the drive, so a path can
            // not climb out of the prefix.
            if (!components.empty() && components.back() != "..") {
                components.pop_back();
            } else if (!rooted) {
                components.emplace_back(name);
            }
            continue;
        }
        components.emplace_back(name);
    }

    if (!rooted) {
        bool hasDirectory = std::any_of(path.begin(), path.end(), isSeparator);
        if (!hasDirectory && components.size() == 1 && components[0] != "..") {
            // The Windows folder is a component, so it too is found without regard to case.
            parts.base = prefix / "drive_c";
            components.insert(components.begin(), "windows");
        } else {
            parts.base = fs::path();  // relative to the current directory of the process
        }
    }
    parts.components = std::move(components);
    parts.valid = true;
    return parts;
}

}  // namespace detail

fs::path MapWindowsPath(std::string_view windowsPath, const fs::path& prefix) {
    detail::WindowsPathParts parts = detail::SplitWindowsPath(windowsPath, prefix);
    if (!parts.valid) return fs::path();
    fs::path result = parts.base;
    for (const std::string& c : parts.components) result /= c;
    if (result.empty()) result = ".";
    return result;
}

fs::path HostPath(std::string_view windowsPath) {
    detail::WindowsPathParts parts = detail::SplitWindowsPath(windowsPath, PrefixRoot());
    if (!parts.valid) return fs::path();
    fs::path result = parts.base;
    bool resolving = true;
    for (const std::string& name : parts.components) {
        if (resolving && name != "..") {
            fs::path dir = result.empty() ? fs::path(".") : result;
            std::error_code ec;
            if (fs::exists(dir / name, ec)) {
                result /= name;
                continue;
            }
            // Several entries may differ only in case on a Linux file system; the smallest name
            // wins so the choice does not depend on the order the directory lists them in.
            std::string best;
            bool found = false;
            for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
                std::string entry = it->path().filename().string();
                if (detail::EqualNoCase(entry, name) && (!found || entry < best)) {
                    best = entry;
                    found = true;
                }
            }
            if (found) {
                result /= best;
                continue;
            }
            resolving = false;  // nothing below a missing component exists either
        }
        result /= name;
    }
    if (result.empty()) result = ".";
    return result;
}

}  // namespace win
