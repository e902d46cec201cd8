// Fuzz target: the memo line-end translations, both ways. Lengths agree with what is written (into
// buffers of exactly that size), and the round trips that must hold do: a handheld text without CR
// comes back unchanged through the desktop form; a desktop text without CR is taken as it is.
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "memo/MemoConverter.h"
#include "memo/MemoText.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // Both directions read a text as a C text: up to its first NUL.
    const std::string_view cText = memotext::UpToNul(text);
    const bool hasCr = cText.find('\r') != std::string_view::npos;

    // Desktop to handheld.
    const size_t handheldLength = memotext::HandheldTextLength(text);
    auto handheldOut = std::make_unique<char[]>(handheldLength);
    FUZZ_CHECK(memotext::WriteHandheldText(text, handheldOut.get()) == handheldLength);
    const std::string handheld = memotext::ToHandheldText(text);
    FUZZ_CHECK(handheld == std::string_view(handheldOut.get(), handheldLength));
    FUZZ_CHECK(handheld.size() <= text.size());
    if (!hasCr) FUZZ_CHECK(handheld == cText);
    FUZZ_CHECK(CMemoConverter::FitsHandheldRecord(text, handheldLength + 1));
    FUZZ_CHECK(!CMemoConverter::FitsHandheldRecord(text, handheldLength));

    // Handheld to desktop: a CR before every LF.
    FUZZ_CHECK(cText.find('\0') == std::string_view::npos);
    FUZZ_CHECK(text.substr(0, cText.size()) == cText);
    const size_t desktopLength = memotext::DesktopTextLength(text);
    auto desktopOut = std::make_unique<char[]>(desktopLength);
    FUZZ_CHECK(memotext::WriteDesktopText(text, desktopOut.get()) == desktopLength);
    const std::string desktop = memotext::ToDesktopText(text);
    FUZZ_CHECK(desktop == std::string_view(desktopOut.get(), desktopLength));
    for (size_t i = 0; i < desktop.size(); ++i) {
        if (desktop[i] == '\n') FUZZ_CHECK(i > 0 && desktop[i - 1] == '\r');
    }

    // Handheld -> desktop -> handheld gives the text back when it holds no CR.
    if (cText.find('\r') == std::string_view::npos) FUZZ_CHECK(memotext::ToHandheldText(desktop) == cText);
    // Desktop -> handheld -> desktop: a desktop text whose line ends are all CR LF, without other CRs
    // and NULs, comes back unchanged.
    bool canonical = text.find('\0') == std::string_view::npos;
    for (size_t i = 0; canonical && i < text.size(); ++i) {
        if (text[i] == '\r') canonical = i + 1 < text.size() && text[i + 1] == '\n';
        if (text[i] == '\n') canonical = i > 0 && text[i - 1] == '\r';
    }
    if (canonical) FUZZ_CHECK(memotext::ToDesktopText(handheld) == text);
    return 0;
}
