// Integer-only formatting of string-file texts: each conversion is checked and filled by itself,
// anything the checker does not accept stays literal text.
#include "mail/SafeFormat.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace mail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One accepted conversion, as parsed.
struct Conversion {
    std::string flags;
    int width = -1;       // -1: none
    int precision = -1;   // -1: none ('.' alone counts as 0)
    bool longLength = false;
    char type = 0;
    size_t length = 0;    // characters of the format it spans, the '%' included
};

// Reads a decimal number of at most kSafeFormatMaxWidth; false when it is larger.
bool ReadNumber(std::string_view text, size_t& pos, int& out) {
    long value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + (text[pos] - '0');
        if (value > kSafeFormatMaxWidth) return false;
        ++pos;
    }
    out = static_cast<int>(value);
    return true;
}

// Parses the conversion starting at text[start] == '%'; false when it is not one that is filled.
bool ParseConversion(std::string_view text, size_t start, Conversion& conv) {
    size_t pos = start + 1;
    while (pos < text.size() && std::string_view("-+ #0").find(text[pos]) != std::string_view::npos) {
        if (conv.flags.size() >= 5) return false;
        conv.flags += text[pos++];
    }
    if (pos < text.size() && IsDigit(text[pos]) && !ReadNumber(text, pos, conv.width)) return false;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        if (!ReadNumber(text, pos, conv.precision)) return false;
    }
    if (pos < text.size() && text[pos] == 'l') {
        conv.longLength = true;
        ++pos;
    }
    if (pos >= text.size()) return false;
    const char type = text[pos];
    if (std::string_view("diuxXo").find(type) == std::string_view::npos) return false;
    conv.type = type;
    conv.length = pos + 1 - start;
    return true;
}

// Formats one checked conversion. The format handed to snprintf is built here from the parsed
// parts only, so it holds exactly one integer conversion whatever the text said.
std::string Fill(const Conversion& conv, int32_t value) {
    std::string checked = "%";
    for (char f : conv.flags) {
        if (f == '#' && (conv.type == 'd' || conv.type == 'i' || conv.type == 'u')) continue;  // no meaning there
        checked += f;
    }
    if (conv.width >= 0) checked += std::to_string(conv.width);
    if (conv.precision >= 0) checked += "." + std::to_string(conv.precision);
    checked += 'l';
    checked += conv.type;
    char out[2 * kSafeFormatMaxWidth + 32];
    int n;
    if (conv.type == 'd' || conv.type == 'i') {
        n = std::snprintf(out, sizeof out, checked.c_str(), static_cast<long>(value));
    } else {
        n = std::snprintf(out, sizeof out, checked.c_str(),
                          static_cast<unsigned long>(static_cast<uint32_t>(value)));
    }
    if (n < 0) return {};
    return std::string(out, std::min(static_cast<size_t>(n), sizeof out - 1));
}

}  // namespace

std::string SafeFormat(std::string_view format, std::initializer_list<int32_t> values, size_t maxLength) {
    std::vector<int32_t> args(values);
    size_t nextArg = 0;
    std::string out;
    size_t pos = 0;
    while (pos < format.size() && out.size() < maxLength) {
        const char c = format[pos];
        if (c != '%') {
            out += c;
            ++pos;
            continue;
        }
        if (pos + 1 < format.size() && format[pos + 1] == '%') {
            out += '%';
            pos += 2;
            continue;
        }
        Conversion conv;
        if (nextArg < args.size() && ParseConversion(format, pos, conv)) {
            out += Fill(conv, args[nextArg++]);
            pos += conv.length;
            continue;
        }
        // Not filled: the '%' stays, and what follows it is copied as ordinary text.
        out += '%';
        ++pos;
    }
    if (out.size() > maxLength) out.resize(maxLength);
    return out;
}

}  // namespace mail
