// Line-end translation of memo texts between the desktop (CR LF) and the handheld (LF), as pure
// functions over byte texts, so the record converter and its tests share one definition.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace memotext {

// The text as a C text: everything before its first NUL (all of it when there is none). Memo
// texts end at a NUL on the handheld, so bytes after one never reach the other side.
std::string_view UpToNul(std::string_view text);

// Desktop to handheld. A text without CR is taken unchanged. Otherwise every CR is dropped together
// with the byte after it taking its place: the byte following a CR is copied whatever it is, so
// CR LF becomes LF, a lone CR disappears, and of two CRs in a row the second remains. A CR at the
// very end is dropped. The result has no terminating NUL; the handheld record adds one.
size_t HandheldTextLength(std::string_view desktopText);
// Writes exactly HandheldTextLength(desktopText) bytes to out (no NUL) and returns that count.
size_t WriteHandheldText(std::string_view desktopText, char* out);
std::string ToHandheldText(std::string_view desktopText);

// Handheld to desktop: a CR is written before every LF; a CR already in the text stays, so CR LF
// becomes CR CR LF. The text is read up to its first NUL. No terminating NUL is part of the result.
size_t DesktopTextLength(std::string_view handheldText);
// Writes exactly DesktopTextLength(handheldText) bytes to out (no NUL) and returns that count.
size_t WriteDesktopText(std::string_view handheldText, char* out);
std::string ToDesktopText(std::string_view handheldText);

}  // namespace memotext
