// Fuzz target: the mail layer's formatter for string-file texts, which the user can edit. Any text
// and values give a result no longer than the limit, the start of the result with a larger limit; a
// text without '%' is copied. A single well-formed conversion built from the input is filled the way
// the C library fills it (flags, width, precision, 'l'), and one above the width limit stays literal.
#include <cstdio>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "mail/SafeFormat.h"

namespace {

std::string Format(std::string_view format, const int32_t* v, size_t count, size_t maxLength) {
    switch (count) {
    case 0: return mail::SafeFormat(format, {}, maxLength);
    case 1: return mail::SafeFormat(format, {v[0]}, maxLength);
    case 2: return mail::SafeFormat(format, {v[0], v[1]}, maxLength);
    case 3: return mail::SafeFormat(format, {v[0], v[1], v[2]}, maxLength);
    default: return mail::SafeFormat(format, {v[0], v[1], v[2], v[3]}, maxLength);
    }
}

// One conversion: flags, width and precision from the input, compared with snprintf.
void CheckOneConversion(fuzz::Input& in, int32_t value) {
    static constexpr char kFlags[] = "-+ #0";
    static constexpr char kTypes[] = "diuxXo";
    const uint8_t shape = in.Byte();
    std::string flags;
    for (int i = 0, n = in.Byte() % 6; i < n; ++i) flags += kFlags[in.Byte() % 5];
    // A width never starts with 0, which would read as the '0' flag.
    const int width = (shape & 1) ? 1 + in.U16() % 299 : -1;
    const int precision = (shape & 2) ? in.U16() % 300 : -1;
    const bool longLength = (shape & 4) != 0;
    const char type = kTypes[(shape >> 3) % 6];

    std::string spec = "%" + flags;
    if (width >= 0) spec += std::to_string(width);
    if (precision >= 0) spec += "." + std::to_string(precision);
    if (longLength) spec += 'l';
    spec += type;
    const std::string format = "<" + spec + ">";
    const std::string got = mail::SafeFormat(format, {value}, 4096);

    if (width > mail::kSafeFormatMaxWidth || precision > mail::kSafeFormatMaxWidth) {
        FUZZ_CHECK(got == format);  // shown as written
        return;
    }
    // The C library's own answer ('#' has no meaning for d, i and u and is left out there).
    std::string cflags;
    for (char f : flags) {
        if (!(f == '#' && (type == 'd' || type == 'i' || type == 'u'))) cflags += f;
    }
    std::string cspec = "<%" + cflags + (width >= 0 ? std::to_string(width) : "") +
                        (precision >= 0 ? "." + std::to_string(precision) : "") + type + ">";
    char expected[1024];
    int n = (type == 'd' || type == 'i')
                ? std::snprintf(expected, sizeof expected, cspec.c_str(), value)
                : std::snprintf(expected, sizeof expected, cspec.c_str(), static_cast<unsigned>(value));
    FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) < sizeof expected);
    FUZZ_CHECK(got == std::string(expected, static_cast<size_t>(n)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t mode = in.Byte();
    int32_t values[4];
    for (int32_t& v : values) v = static_cast<int32_t>(in.U32());
    if (mode & 0x80) {
        CheckOneConversion(in, values[0]);
        return 0;
    }
    const size_t count = mode % 5;
    const size_t maxLength = in.U16() % 2048;
    const std::string format = in.Rest();

    const std::string result = Format(format, values, count, maxLength);
    FUZZ_CHECK(result.size() <= maxLength);
    const std::string whole = Format(format, values, count, 1 << 20);
    FUZZ_CHECK(whole.compare(0, result.size(), result) == 0);
    FUZZ_CHECK(result.size() == std::min(maxLength, whole.size()));
    if (format.find('%') == std::string::npos) FUZZ_CHECK(whole == format);
    // The default limit holds too.
    FUZZ_CHECK(Format(format, values, count, mail::kSafeFormatMaxLength).size() <= mail::kSafeFormatMaxLength);
    return 0;
}
