// Line-end translation of memo texts between the desktop (CR LF) and the handheld (LF).
#include "memo/MemoText.h"

#include <algorithm>
#include <cstring>

namespace memotext {

namespace {
constexpr char kCR = '\r';
constexpr char kLF = '\n';
}  // namespace

std::string_view UpToNul(std::string_view text) {
    const size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

size_t HandheldTextLength(std::string_view desktopText) {
    const std::string_view text = UpToNul(desktopText);
    size_t length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kCR) {
            ++i;  // the CR goes; the byte after it (if any) takes its place
            if (i >= text.size()) break;
        }
        ++length;
    }
    return length;
}

size_t WriteHandheldText(std::string_view desktopText, char* out) {
    const std::string_view text = UpToNul(desktopText);
    if (text.find(kCR) == std::string_view::npos) {
        std::memcpy(out, text.data(), text.size());
        return text.size();
    }
    size_t written = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kCR) {
            ++i;
            if (i >= text.size()) break;
        }
        out[written++] = text[i];
    }
    return written;
}

std::string ToHandheldText(std::string_view desktopText) {
    std::string out(HandheldTextLength(desktopText), '\0');
    WriteHandheldText(desktopText, out.data());
    return out;
}

size_t DesktopTextLength(std::string_view handheldText) {
    const std::string_view text = UpToNul(handheldText);
    return text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), kLF));
}

size_t WriteDesktopText(std::string_view handheldText, char* out) {
    const std::string_view text = UpToNul(handheldText);
    size_t written = 0;
    for (const char c : text) {
        if (c == kLF) out[written++] = kCR;
        out[written++] = c;
    }
    return written;
}

std::string ToDesktopText(std::string_view handheldText) {
    std::string out(DesktopTextLength(handheldText), '\0');
    WriteDesktopText(handheldText, out.data());
    return out;
}

}  // namespace memotext
