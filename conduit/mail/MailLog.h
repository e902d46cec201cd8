// How the mail exchange reports to the user: numbered texts of the string file and formatted texts
// go to the HotSync log, cut into entries of a readable length; long texts also become a memo.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// The prefix of every text looked up in the string file.
inline constexpr const char* kMailLogPrefix = "Tervano Mail: ";
// The text used when no string file is known.
inline constexpr const char* kUnrecognizedMessageText = "Unrecognized message code %ld";
// Texts of this length or more are cut into several entries and also written as a memo.
inline constexpr size_t kLongLogTextLength = 80;

// Logs text number code of the string file's section (Mail, Mapi or HotSync): a code above 16384 is
// reduced by 16384 (16384 itself stays); the key is the (reduced) code in decimal; a missing key gives
// an empty text (read through a buffer of kMessageTextBufferSize), no string-file path the text
// "Unrecognized message code %ld". The log text is "Tervano Mail: " + that text, handed to
// LogMailText with the (reduced) code as its value.
void LogMailMessage(const char* section, int32_t code);

// Logs a text formatted with one integer value (the formatting fills integer conversions only, see
// SafeFormat.h). Shorter than 80 characters: one entry, kind -1, no time stamp. 80 or more: one
// entry per piece of CutLogText, each formatted by itself, and then the whole text, its conversions
// unfilled, is written to the handheld with WriteTextMemo for the session of the current
// MailSessionScope; with no scope in force no memo is written. A call made while another LogMailText
// runs (a failing memo write reporting its failure) returns at once and logs nothing.
void LogMailText(std::string_view format, int32_t value);

namespace mail {

// The pieces a long log text is cut into. Scanning a piece, the character at offset k (from 0 within
// the piece) ends it when it is a line feed, a blank with k > 60, or any character with k > 90; the
// piece is the text before it. A line feed or blank that ends a piece is dropped, any other character
// begins the next piece. The rest is the last piece; an empty rest (the text ended with a dropped
// line feed or blank) gives no piece. Empty pieces between two line feeds are kept.
std::vector<std::string_view> CutLogText(std::string_view text);

}  // namespace mail
