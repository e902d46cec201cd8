// Texts at the edge of the sync host and the `tervano` command: terminals and files speak UTF-8 with
// LF line ends; memo texts are Windows-1252 bytes, with LF on the handheld and CR LF on the desktop.
#pragma once

#include <string>
#include <string_view>

namespace host {

// UTF-8 to Windows-1252; a character Windows-1252 cannot hold, and each byte of a malformed
// sequence, become '?'. unmapped (when not null) counts them.
std::string Utf8ToCp1252(std::string_view utf8, size_t* unmapped = nullptr);
// Windows-1252 to UTF-8; every byte maps to one character (the five bytes Windows-1252 leaves
// undefined to U+0081, U+008D, U+008F, U+0090, U+009D).
std::string Cp1252ToUtf8(std::string_view bytes);

std::string ToLf(std::string_view text);    // CR LF and lone CR become LF
std::string ToCrLf(std::string_view text);  // every line end becomes CR LF

// The text as a JSON string literal, quotes included (the text is UTF-8).
std::string JsonString(std::string_view text);

// The first line of a text, cut to at most max characters (UTF-8 aware), "…" marking a cut.
std::string FirstLine(std::string_view text, size_t max);

}  // namespace host
