// The REGEDIT4 text form of one registry root: parsing (strict, so a damaged file is recognised
// and left alone) and writing.
#include "RegistryFile.h"

#include <cstdio>

#include "PathParts.h"

namespace win::detail {

namespace {

constexpr uint32_t kString = 1;
constexpr uint32_t kBinary = 3;
constexpr uint32_t kDword = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text with \\ and \" escapes from the start of s; the rest follows in *rest.
bool ParseQuoted(std::string_view s, std::string& out, std::string_view* rest) {
    if (s.empty() || s[0] != '"') return false;
    out.clear();
    size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            *rest = s.substr(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return false;
            out.push_back(s[i + 1]);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return false;
}

bool ParseHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = TrimLeft(TrimRight(s));
    if (s.empty()) return true;
    size_t i = 0;
    for (;;) {
        s = s.substr(i);
        s = TrimLeft(s);
        size_t n = 0;
        int value = 0;
        while (n < s.size() && n < 2 && HexDigit(s[n]) >= 0) value = value * 16 + HexDigit(s[n++]);
        if (n == 0) return false;
        out.push_back(static_cast<char>(value));
        std::string_view after = TrimLeft(s.substr(n));
        if (after.empty()) return true;
        if (after[0] != ',') return false;
        s = after;
        i = 1;
    }
}

bool ParseValueData(std::string_view s, RegistryValue& value, std::string& reason) {
    s = TrimRight(s);
    if (!s.empty() && s[0] == '"') {
        std::string text;
        std::string_view rest;
        if (!ParseQuoted(s, text, &rest) || !TrimLeft(rest).empty()) {
            reason = "bad string value";
            return false;
        }
        value.type = kString;
        value.data = text;
        value.data.push_back('\0');
        return true;
    }
    if (s.substr(0, 6) == "dword:") {
        std::string_view digits = s.substr(6);
        if (digits.empty() || digits.size() > 8) {
            reason = "bad dword value";
            return false;
        }
        uint32_t number = 0;
        for (char c : digits) {
            int d = HexDigit(c);
            if (d < 0) {
                reason = "bad dword value";
                return false;
            }
            number = number * 16 + static_cast<uint32_t>(d);
        }
        value.type = kDword;
        value.data.clear();
        for (int b = 0; b < 4; ++b) value.data.push_back(static_cast<char>((number >> (8 * b)) & 0xFF));
        return true;
    }
    if (s.substr(0, 4) == "hex:" || s.substr(0, 4) == "hex(") {
        std::string_view bytes;
        if (s[3] == ':') {
            value.type = kBinary;
            bytes = s.substr(4);
        } else {
            size_t close = s.find("):");
            if (close == std::string_view::npos || close == 4 || close > 12) {
                reason = "bad hex value type";
                return false;
            }
            uint32_t type = 0;
            for (char c : s.substr(4, close - 4)) {
                int d = HexDigit(c);
                if (d < 0) {
                    reason = "bad hex value type";
                    return false;
                }
                type = type * 16 + static_cast<uint32_t>(d);
            }
            value.type = type;
            bytes = s.substr(close + 2);
        }
        if (!ParseHexBytes(bytes, value.data)) {
            reason = "bad hex bytes";
            return false;
        }
        return true;
    }
    reason = "unknown value form";
    return false;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

bool WritableAsText(const std::string& data) {
    if (data.empty() || data.back() != '\0') return false;
    for (size_t i = 0; i + 1 < data.size(); ++i) {
        if (static_cast<unsigned char>(data[i]) < 0x20) return false;
    }
    return true;
}

void AppendValueData(std::string& out, const RegistryValue& value) {
    char buffer[32];
    if (value.type == kString && WritableAsText(value.data)) {
        AppendQuoted(out, std::string_view(value.data).substr(0, value.data.size() - 1));
        return;
    }
    if (value.type == kDword && value.data.size() == 4) {
        uint32_t number = 0;
        for (int b = 3; b >= 0; --b) number = (number << 8) | static_cast<unsigned char>(value.data[b]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
        out += buffer;
        return;
    }
    if (value.type == kBinary) {
        out += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        out += buffer;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02x" : ",%02x", static_cast<unsigned char>(value.data[i]));
        out += buffer;
    }
}

}  // namespace

std::string NormalizeKeyPath(std::string_view path) {
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && path[i] == '\\') ++i;
        size_t start = i;
        while (i < path.size() && path[i] != '\\') ++i;
        if (i > start) {
            if (!out.empty()) out.push_back('\\');
            out.append(path.substr(start, i - start));
        }
    }
    return out;
}

std::string JoinKeyPath(std::string_view path, std::string_view sub) {
    std::string a = NormalizeKeyPath(path);
    std::string b = NormalizeKeyPath(sub);
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + "\\" + b;
}

bool KeyPathWithin(std::string_view path, std::string_view prefix) {
    if (prefix.empty()) return true;
    if (path.size() < prefix.size() || !EqualNoCase(path.substr(0, prefix.size()), prefix)) return false;
    return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

RegistryKey* RegistryTree::Find(std::string_view path) {
    for (RegistryKey& key : keys) {
        if (EqualNoCase(key.path, path)) return &key;
    }
    return nullptr;
}

bool RegistryTree::Exists(std::string_view path) const {
    if (path.empty()) return true;
    for (const RegistryKey& key : keys) {
        if (KeyPathWithin(key.path, path)) return true;
    }
    return false;
}

bool RegistryTree::HasSubkeys(std::string_view path) const {
    for (const RegistryKey& key : keys) {
        if (KeyPathWithin(key.path, path) && key.path.size() > path.size()) return true;
    }
    return false;
}

RegistryKey& RegistryTree::Create(std::string_view path) {
    size_t end = 0;
    for (;;) {
        end = path.find('\\', end);
        std::string_view part = path.substr(0, end);
        if (Find(part) == nullptr) keys.push_back(RegistryKey{std::string(part), {}});
        if (end == std::string_view::npos) break;
        ++end;
    }
    return *Find(path);
}

bool ParseRegistryText(std::string_view text, std::string_view rootName, RegistryTree& tree,
                       RegistryParseError& error) {
    tree.keys.clear();
    if (text.empty()) return true;  // an empty file holds an empty registry

    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    auto fail = [&](size_t line, std::string reason) {
        error.line = line;
        error.reason = std::move(reason);
        return false;
    };
    if (lines.empty() || TrimRight(lines[0]) != "REGEDIT4") return fail(1, "first line is not REGEDIT4");

    RegistryKey* current = nullptr;
    for (size_t n = 1; n < lines.size(); ++n) {
        std::string_view line = TrimRight(lines[n]);
        std::string_view body = TrimLeft(line);
        if (body.empty() || body[0] == ';') continue;
        if (body[0] == '[') {
            if (body.back() != ']') return fail(n + 1, "section without ']'");
            std::string_view full = body.substr(1, body.size() - 2);
            std::string_view root = full.substr(0, full.find('\\'));
            if (!EqualNoCase(root, rootName)) return fail(n + 1, "section outside " + std::string(rootName));
            std::string path =
                NormalizeKeyPath(root.size() < full.size() ? full.substr(root.size() + 1) : std::string_view());
            current = tree.Find(path);
            if (current == nullptr) {
                tree.keys.push_back(RegistryKey{path, {}});
                current = &tree.keys.back();
            }
            continue;
        }
        if (current == nullptr) return fail(n + 1, "value outside a section");

        RegistryValue value;
        std::string_view rest;
        if (body[0] == '@') {
            rest = body.substr(1);
        } else if (!ParseQuoted(body, value.name, &rest)) {
            return fail(n + 1, "bad value name");
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest[0] != '=') return fail(n + 1, "'=' missing");
        std::string data(TrimLeft(rest.substr(1)));
        size_t firstLine = n + 1;
        // Long hex data continues on the next lines after a trailing backslash.
        if (data.substr(0, 3) == "hex") {
            while (!data.empty() && data.back() == '\\' && n + 1 < lines.size()) {
                data.pop_back();
                data += TrimLeft(TrimRight(lines[++n]));
            }
        }
        std::string reason;
        if (!ParseValueData(data, value, reason)) return fail(firstLine, reason);
        bool replaced = false;
        for (RegistryValue& existing : current->values) {
            if (EqualNoCase(existing.name, value.name)) {
                existing = value;  // the later line wins, as on import
                replaced = true;
                break;
            }
        }
        if (!replaced) current->values.push_back(std::move(value));
    }
    return true;
}

std::string FormatRegistryText(const RegistryTree& tree, std::string_view rootName) {
    std::string out = "REGEDIT4\n\n";
    for (const RegistryKey& key : tree.keys) {
        out += "[";
        out += rootName;
        if (!key.path.empty()) {
            out += "\\";
            out += key.path;
        }
        out += "]\n";
        for (const RegistryValue& value : key.values) {
            if (value.name.empty()) {
                out += "@";
            } else {
                AppendQuoted(out, value.name);
            }
            out += "=";
            AppendValueData(out, value);
            out += "\n";
        }
        out += "\n";
    }
    return out;
}

}  // namespace win::detail
