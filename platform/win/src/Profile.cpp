// The private-profile calls over INI files: a line-preserving reader and writer, so a change of one
// key leaves every other line of the file as it was.
#include "win/Profile.h"

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFile.h"
#include "PathParts.h"
#include "win/Paths.h"

namespace fs = std::filesystem;

namespace win {

namespace {

struct Line {
    std::string text;  // without its line end
    std::string end;   // "\n", "\r\n", or "" for a last line without one
};

enum class Kind { Blank, Comment, Section, Key, Other };

struct Classified {
    Kind kind;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

Classified Classify(std::string_view text) {
    std::string_view body = Trim(text);
    if (body.empty()) return {Kind::Blank, {}, {}};
    if (body[0] == ';') return {Kind::Comment, {}, {}};
    if (body[0] == '[') {
        size_t close = body.find(']');
        std::string_view name = body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
        return {Kind::Section, Trim(name), {}};
    }
    size_t equals = body.find('=');
    if (equals == std::string_view::npos) return {Kind::Other, {}, {}};
    return {Kind::Key, Trim(body.substr(0, equals)), Trim(body.substr(equals + 1))};
}

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(Line{std::string(content.substr(start)), ""});
            break;
        }
        size_t textEnd = (end > start && content[end - 1] == '\r') ? end - 1 : end;
        lines.push_back(Line{std::string(content.substr(start, textEnd - start)),
                             textEnd == end ? "\n" : "\r\n"});
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) {
        out += line.text;
        out += line.end;
    }
    return out;
}

fs::path ProfilePath(const char* fileName) {
    return HostPath(fileName != nullptr && *fileName != '\0' ? fileName : "win.ini");
}

// Index of the first section line of that name, or lines.size().
size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        Classified c = Classify(lines[i].text);
        if (c.kind == Kind::Section && detail::EqualNoCase(c.name, section)) return i;
    }
    return lines.size();
}

// One past the last line of the section that starts at index header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && Classify(lines[i].text).kind != Kind::Section) ++i;
    return i;
}

// Index of the key's line in the section [header, end), or end.
size_t FindKey(const std::vector<Line>& lines, size_t header, size_t end, std::string_view key) {
    for (size_t i = header + 1; i < end; ++i) {
        Classified c = Classify(lines[i].text);
        if (c.kind == Kind::Key && detail::EqualNoCase(c.name, key)) return i;
    }
    return end;
}

// Finds the value of the key; false when the file, the section or the key is missing.
bool LookUp(const char* section, const char* key, const char* fileName, std::string& value) {
    std::string content;
    if (!detail::ReadWholeFile(ProfilePath(fileName), content)) return false;
    std::vector<Line> lines = SplitLines(content);
    size_t header = FindSection(lines, section);
    if (header == lines.size()) return false;
    size_t end = SectionEnd(lines, header);
    size_t at = FindKey(lines, header, end, key);
    if (at == end) return false;
    std::string_view text = Classify(lines[at].text).value;
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
        text = text.substr(1, text.size() - 2);
    }
    value.assign(text);
    return true;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

size_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                               size_t size, const char* fileName) {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    if (section == nullptr || key == nullptr) return 0;
    std::string value;
    if (!LookUp(section, key, fileName, value)) {
        std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
        while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
        value.assign(fallback);
    }
    size_t copied = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), copied);
    buffer[copied] = '\0';
    return copied;
}

int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName) {
    char text[30];
    if (GetPrivateProfileString(section, key, "", text, sizeof text, fileName) == 0) return defaultValue;
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = (*p++ == '-');
    uint32_t total = 0;
    for (; *p >= '0' && *p <= '9'; ++p) total = total * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) total = 0u - total;
    return static_cast<int>(total);
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* fileName) {
    if (section == nullptr) return false;
    std::string_view sectionName = Trim(section);
    std::string_view keyName = key != nullptr ? Trim(key) : std::string_view();
    if (sectionName.empty() || HasLineBreak(sectionName) || sectionName.find(']') != std::string_view::npos) {
        return false;
    }
    if (key != nullptr && (keyName.empty() || HasLineBreak(keyName) || keyName.find('=') != std::string_view::npos ||
                           keyName[0] == '[' || keyName[0] == ';')) {
        return false;
    }
    if (value != nullptr && HasLineBreak(value)) return false;

    fs::path file = ProfilePath(fileName);
    detail::FileLock lock(file, true);
    if (!lock.Locked()) return false;
    std::string content;
    bool missing = false;
    if (!detail::ReadWholeFile(file, content, &missing) && !missing) return false;
    std::vector<Line> lines = SplitLines(content);
    std::string eol = (!lines.empty() && !lines[0].end.empty()) ? lines[0].end : "\n";

    size_t header = FindSection(lines, sectionName);
    if (key == nullptr || value == nullptr) {
        if (header == lines.size()) return true;  // nothing to delete
        size_t end = SectionEnd(lines, header);
        if (key == nullptr) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(header), lines.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            size_t at = FindKey(lines, header, end, keyName);
            if (at == end) return true;
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(at));
        }
    } else if (header == lines.size()) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back(Line{"[" + std::string(sectionName) + "]", eol});
        lines.push_back(Line{std::string(keyName) + "=" + value, eol});
    } else {
        size_t end = SectionEnd(lines, header);
        size_t at = FindKey(lines, header, end, keyName);
        if (at != end) {
            lines[at].text = std::string(Classify(lines[at].text).name) + "=" + value;
        } else {
            size_t after = header;
            for (size_t i = header + 1; i < end; ++i) {
                if (Classify(lines[i].text).kind == Kind::Key) after = i;
            }
            if (lines[after].end.empty()) lines[after].end = eol;
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                         Line{std::string(keyName) + "=" + value, eol});
        }
    }
    std::string updated = JoinLines(lines);
    if (!missing && updated == content) return true;
    return detail::WriteFileAtomically(file, updated);
}

}  // namespace win
