// Fuzz target: the INI (private profile) reader and writer on a file in the prefix. The input gives
// a section, a key, a value and a buffer size, and the rest is the file. Reads never write past the
// buffer and agree with each other whatever its size; a write that succeeds reads back as written and
// leaves the other keys' answers alone; a refused write leaves the file as it was.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "win/Profile.h"

namespace {

constexpr char kFile[] = "fuzz.ini";  // a bare name: <prefix>/drive_c/windows/fuzz.ini

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Names and values the reader gives back exactly as written: no blanks around them, no quotes
// around the value.
bool Plain(std::string_view s) { return !s.empty() && !IsBlank(s.front()) && !IsBlank(s.back()); }
bool PlainValue(std::string_view v) {
    if (v.empty()) return true;
    if (IsBlank(v.front()) || IsBlank(v.back())) return false;
    return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

// The key's value as read with a buffer of the given size, allocated to exactly that size.
std::string Read(const std::string& section, const std::string& key, size_t size, const char* fallback = "\x01") {
    auto buffer = std::make_unique<char[]>(size);
    std::memset(buffer.get(), 0x5A, size);
    size_t copied = win::GetPrivateProfileString(section.c_str(), key.c_str(), fallback, buffer.get(), size, kFile);
    if (size == 0) {
        FUZZ_CHECK(copied == 0);
        return "";
    }
    FUZZ_CHECK(copied < size);
    FUZZ_CHECK(buffer[copied] == '\0');
    return std::string(buffer.get(), copied);
}

std::string CString(std::string s) { return std::string(s.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Prefix();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const std::string section = CString(in.Text(16));
    const std::string key = CString(in.Text(16));
    const std::string value = CString(in.Text(32));
    const size_t bufferSize = in.Byte();
    const bool deleteSection = (in.Byte() & 7) == 0;
    const std::string content = in.Rest();

    const auto path = fuzz::Prefix() / "drive_c" / "windows" / kFile;
    fuzz::WriteFile(path, content);

    // Reads with a small and a large buffer agree: the small one holds the start of the large one.
    const size_t large = content.size() + 64;
    const std::string full = Read(section, key, large);
    const std::string cut = Read(section, key, bufferSize);
    FUZZ_CHECK(cut.size() <= full.size());
    FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0);
    if (bufferSize > 0) FUZZ_CHECK(cut.size() == std::min(full.size(), bufferSize - 1));
    (void)win::GetPrivateProfileInt(section.c_str(), key.c_str(), -5, kFile);

    // Another key's answer, to show a write of this key leaves it alone.
    std::string lowered = key;
    for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::string otherKey = lowered == "other" ? "Another" : "Other";
    const std::string otherBefore = Read(section, otherKey, large);

    const bool written = win::WritePrivateProfileString(section.c_str(), key.c_str(), value.c_str(), kFile);
    const std::optional<std::string> after = fuzz::ReadFile(path);
    if (!written) {
        FUZZ_CHECK(after == content);
        return 0;
    }
    FUZZ_CHECK(after.has_value());
    if (Plain(section) && Plain(key) && PlainValue(value)) {
        FUZZ_CHECK(Read(section, key, value.size() + 1) == value);
        FUZZ_CHECK(Read(section, otherKey, large + value.size() + key.size() + section.size() + 8) ==
                   otherBefore);
    }

    // Deleting the key (or its whole section) takes away the first of its name; repeated, the
    // default becomes the answer (a file may hold the same key or section more than once).
    const size_t lineCount = static_cast<size_t>(std::count(after->begin(), after->end(), '\n')) + 2;
    for (size_t round = 0;; ++round) {
        FUZZ_CHECK(win::WritePrivateProfileString(section.c_str(), deleteSection ? nullptr : key.c_str(), nullptr,
                                                  kFile));
        if (!Plain(section) || !Plain(key) || Read(section, key, 8, "dflt") == "dflt") break;
        FUZZ_CHECK(round < lineCount);
    }
    return 0;
}
