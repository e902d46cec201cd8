// Conversions between the terminal's UTF-8 and the memos' Windows-1252, line ends, JSON strings.
#include "host/Text.h"

#include <cstdint>
#include <cstdio>

namespace host {
namespace {

// Unicode code points of the bytes 0x80-0x9F.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one UTF-8 character at text[i], advancing i; -1 for a malformed byte (i advances by one).
long DecodeUtf8(std::string_view text, size_t& i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) { length = 2; c = lead & 0x1F; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { length = 3; c = lead & 0x0F; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { length = 4; c = lead & 0x07; minimum = 0x10000; }
    else { ++i; return -1; }
    if (i + static_cast<size_t>(length) > text.size()) { ++i; return -1; }
    for (int k = 1; k < length; ++k) {
        const uint8_t next = byte(i + static_cast<size_t>(k));
        if ((next & 0xC0) != 0x80) { ++i; return -1; }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) { ++i; return -1; }
    i += static_cast<size_t>(length);
    return static_cast<long>(c);
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8, size_t* unmapped) {
    std::string out;
    size_t missed = 0;
    for (size_t i = 0; i < utf8.size();) {
        const long c = DecodeUtf8(utf8, i);
        char mapped = '?';
        bool found = false;
        if (c >= 0 && (c < 0x80 || (c >= 0xA0 && c <= 0xFF))) {
            mapped = static_cast<char>(c);
            found = true;
        } else if (c >= 0) {
            for (int k = 0; k < 32; ++k) {
                if (kHigh[k] == static_cast<char32_t>(c)) {
                    mapped = static_cast<char>(0x80 + k);
                    found = true;
                    break;
                }
            }
        }
        if (!found) ++missed;
        out.push_back(mapped);
    }
    if (unmapped != nullptr) *unmapped = missed;
    return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    for (const char ch : bytes) {
        const uint8_t b = static_cast<uint8_t>(ch);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

std::string ToLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out.push_back('\n');
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string ToCrLf(std::string_view text) {
    std::string out;
    for (const char c : ToLf(text)) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<uint8_t>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<uint8_t>(c)));
                    out += escaped;
                } else {
                    out.push_back(c);
                }
        }
    }
    return out + "\"";
}

std::string FirstLine(std::string_view text, size_t max) {
    const std::string_view line = text.substr(0, text.find_first_of("\r\n"));
    std::string out;
    size_t count = 0;
    for (size_t i = 0; i < line.size();) {
        const size_t start = i;
        DecodeUtf8(line, i);
        if (count == max) return out + "…";
        out.append(line.substr(start, i - start));
        ++count;
    }
    if (line.size() < text.size() && text.find_first_not_of("\r\n", line.size()) != std::string_view::npos)
        out += " …";
    return out;
}

}  // namespace host
