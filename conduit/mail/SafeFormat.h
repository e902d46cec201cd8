// Formatting of the mail exchange's message texts with integer values. The texts come from the
// user-editable string file, so they are never handed to printf as a format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace mail {

// The longest text SafeFormat produces; longer results are cut to this many characters.
inline constexpr size_t kSafeFormatMaxLength = 1024;
// Widths and precisions above this are not filled (the conversion is shown as written), so a text
// cannot ask for an output of any size.
inline constexpr int kSafeFormatMaxWidth = 255;

// Fills the integer conversions of format from values, in order, and returns the result cut to
// maxLength characters. Filled: %d %i %u %x %X %o, each optionally with the length 'l', with the
// flags - + blank # 0, a decimal width and a '.' precision (digits only). "%%" gives "%".
// Values are 32-bit, as the conduit's result codes are: %u %x %X %o show them as unsigned 32-bit.
// Shown literally, exactly as written: every other conversion (%s, %n, %c, %f, %p, a '*' width or
// precision, 'h'/'ll' lengths, a width or precision above kSafeFormatMaxWidth), a conversion for
// which no value is left, and a '%' at the end of the text. Never fails.
std::string SafeFormat(std::string_view format, std::initializer_list<int32_t> values,
                       size_t maxLength = kSafeFormatMaxLength);

}  // namespace mail
