// device.ini and the ROM version text: a small INI reader and a line-keeping writer of our own
// (the device folder is a host path, not one of the Windows paths the profile calls take).
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <vector>

#include "synckit/DeviceImage.h"

namespace synckit {
namespace {

constexpr uint32_t kStageRelease = 3;

constexpr char kKeyUserName[] = "UserName";
constexpr char kKeyRomVersion[] = "RomVersion";
constexpr char kKeyLastSync[] = "LastSyncDesktopId";

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A decimal number of at most `max`, digits only.
std::optional<uint32_t> ParseDecimal(std::string_view s, uint32_t max) {
    if (s.empty() || s.size() > 10) return std::nullopt;
    uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > max) return std::nullopt;
    return static_cast<uint32_t>(v);
}

// One line of the file, split the way the reader sees it.
struct IniLine {
    enum Kind { Blank, Comment, Section, Key, Bad } kind = Blank;
    std::string_view name;   // section or key name
    std::string_view value;  // key value, quotes removed
};

IniLine ClassifyLine(std::string_view raw) {
    IniLine line;
    std::string_view s = Trim(raw);
    if (s.empty()) return line;
    if (s.front() == ';' || s.front() == '#') {
        line.kind = IniLine::Comment;
        return line;
    }
    if (s.front() == '[') {
        const size_t close = s.find(']');
        if (close == std::string_view::npos || !Trim(s.substr(close + 1)).empty()) {
            line.kind = IniLine::Bad;
            return line;
        }
        line.kind = IniLine::Section;
        line.name = Trim(s.substr(1, close - 1));
        return line;
    }
    const size_t eq = s.find('=');
    if (eq == std::string_view::npos || Trim(s.substr(0, eq)).empty()) {
        line.kind = IniLine::Bad;
        return line;
    }
    line.kind = IniLine::Key;
    line.name = Trim(s.substr(0, eq));
    std::string_view v = Trim(s.substr(eq + 1));
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    line.value = v;
    return line;
}

// The file's lines without their line ends (CR LF or LF).
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

// A value as written: quoted when blanks at either end or a leading quote would be lost otherwise.
std::string QuoteValue(std::string_view v) {
    const bool quote = !v.empty() && (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' ||
                                      v.back() == '\t' || v.front() == '"');
    return quote ? "\"" + std::string(v) + "\"" : std::string(v);
}

}  // namespace

std::optional<uint32_t> ParseRomVersion(std::string_view text) {
    std::array<uint32_t, 3> parts{0, 0, 0};
    size_t count = 0;
    while (true) {
        const size_t dot = text.find('.');
        if (count == parts.size()) return std::nullopt;
        const auto part = ParseDecimal(text.substr(0, dot), count == 0 ? 255 : 15);
        if (!part || text.substr(0, dot).size() > 3) return std::nullopt;
        parts[count++] = *part;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    if (count < 2 || parts[0] == 0) return std::nullopt;
    return (parts[0] << 24) | (parts[1] << 20) | (parts[2] << 16) | (kStageRelease << 12);
}

std::string FormatRomVersion(uint32_t v) {
    std::string out = std::to_string(v >> 24) + "." + std::to_string((v >> 20) & 0x0F);
    if (((v >> 16) & 0x0F) != 0) out += "." + std::to_string((v >> 16) & 0x0F);
    return out;
}

DeviceIniResult ParseDeviceIni(std::string_view text) {
    auto refuse = [](size_t lineNo, std::string what) {
        return DeviceIniResult{std::nullopt, "line " + std::to_string(lineNo) + ": " + std::move(what)};
    };
    if (text.find('\0') != std::string_view::npos) return DeviceIniResult{std::nullopt, "file holds a NUL byte"};
    DeviceInfo info;
    bool sawSection = false;
    bool inDevice = false;
    bool seenUser = false, seenRom = false, seenLastSync = false;
    const std::vector<std::string_view> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t lineNo = i + 1;
        const IniLine line = ClassifyLine(lines[i]);
        switch (line.kind) {
        case IniLine::Blank:
        case IniLine::Comment:
            break;
        case IniLine::Bad:
            return refuse(lineNo, "neither a [section], a key=value line nor a comment");
        case IniLine::Section:
            inDevice = EqualNoCase(line.name, kDeviceIniSection);
            sawSection = sawSection || inDevice;
            break;
        case IniLine::Key:
            // The first of a key counts, as the Windows profile calls read it.
            if (!inDevice) break;
            if (EqualNoCase(line.name, kKeyUserName) && !seenUser) {
                seenUser = true;
                info.userName = std::string(line.value);
            } else if (EqualNoCase(line.name, kKeyRomVersion) && !seenRom) {
                seenRom = true;
                const auto rom = ParseRomVersion(line.value);
                if (!rom) return refuse(lineNo, "RomVersion '" + std::string(line.value) + "' is not a version like 3.5");
                info.romVersion = FormatRomVersion(*rom);
            } else if (EqualNoCase(line.name, kKeyLastSync) && !seenLastSync) {
                seenLastSync = true;
                if (line.value.empty()) {
                    info.lastSyncDesktopId = 0;
                } else if (const auto id = ParseDecimal(line.value, UINT32_MAX)) {
                    info.lastSyncDesktopId = *id;
                } else {
                    return refuse(lineNo, "LastSyncDesktopId '" + std::string(line.value) + "' is not a decimal number");
                }
            }
            break;
        }
    }
    if (!sawSection) return DeviceIniResult{std::nullopt, std::string("no [") + kDeviceIniSection + "] section"};
    return DeviceIniResult{std::move(info), ""};
}

std::optional<std::string> UpdateDeviceIni(std::string_view existing, const DeviceInfo& info, std::string* error) {
    auto refuse = [error](std::string what) -> std::optional<std::string> {
        if (error != nullptr) *error = std::move(what);
        return std::nullopt;
    };
    if (info.userName.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return refuse("user name holds a line break or a NUL");
    }
    const auto rom = ParseRomVersion(info.romVersion);
    if (!rom) return refuse("ROM version '" + info.romVersion + "' is not a version like 3.5");

    const std::pair<const char*, std::string> values[] = {
        {kKeyUserName, QuoteValue(info.userName)},
        {kKeyRomVersion, FormatRomVersion(*rom)},
        {kKeyLastSync, std::to_string(info.lastSyncDesktopId)},
    };
    const std::string eol = existing.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
    std::vector<std::string> out;
    if (existing.empty()) out.push_back("; The handheld of this device image: its user, its ROM, its last HotSync partner.");

    bool done[3] = {false, false, false};
    bool inDevice = false;
    bool sawDevice = false;
    // Index in `out` after which the keys still missing from the [Device] section go.
    size_t insertAt = 0;
    for (std::string_view raw : SplitLines(existing)) {
        const IniLine line = ClassifyLine(raw);
        if (line.kind == IniLine::Section) {
            inDevice = !sawDevice && EqualNoCase(line.name, kDeviceIniSection);
            if (inDevice) {
                sawDevice = true;
                insertAt = out.size() + 1;
            }
        }
        std::string text(raw);
        if (inDevice && line.kind == IniLine::Key) {
            for (size_t k = 0; k < 3; ++k) {
                if (!done[k] && EqualNoCase(line.name, values[k].first)) {
                    done[k] = true;
                    text = std::string(line.name) + "=" + values[k].second;
                }
            }
        }
        out.push_back(std::move(text));
        if (inDevice && line.kind != IniLine::Blank) insertAt = out.size();
    }
    if (!sawDevice) {
        if (!out.empty() && !out.back().empty() && !existing.empty()) out.emplace_back();
        out.push_back(std::string("[") + kDeviceIniSection + "]");
        insertAt = out.size();
    }
    std::vector<std::string> missing;
    for (size_t k = 0; k < 3; ++k) {
        if (!done[k]) missing.push_back(std::string(values[k].first) + "=" + values[k].second);
    }
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(insertAt), missing.begin(), missing.end());

    std::string text;
    for (const std::string& line : out) text += line + eol;
    return text;
}

}  // namespace synckit
