// Windows-1252 (the handheld's character set, single-byte texts inside the system) to and from
// UTF-8 (texts in the table files, so other desktop tools can read the memos).
#pragma once

#include <string>
#include <string_view>

namespace synckit {

// Every byte value maps to one code point, so all 256 values round-trip through UTF-8:
// 0x00-0x7F as ASCII (NUL included), 0x80-0x9F to the Windows-1252 characters (the five bytes
// Windows-1252 leaves undefined, 0x81 0x8D 0x8F 0x90 0x9D, to U+0081 U+008D U+008F U+0090 U+009D),
// 0xA0-0xFF to U+00A0-U+00FF.
std::string Cp1252ToUtf8(std::string_view bytes);

// The reverse. A code point Windows-1252 cannot hold, and each byte of a malformed UTF-8 sequence
// (overlong forms, surrogates, values above U+10FFFF, stray or missing continuation bytes), become '?'.
// Never fails.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace synckit
