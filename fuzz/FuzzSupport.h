// Shared pieces of the fuzz targets: a reader that splits the input into the values a target needs,
// a check that stops the run with a message, and a private prefix folder for targets that touch
// files. Plain C++ (no libFuzzer header), so the same targets build with g++ as corpus replays.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

// A property that must hold for every input; a violation aborts, so the fuzzer saves the input and
// a replay fails on it.
#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

namespace fuzz {

// Takes values off the front of the input; once it runs dry every value is 0 / empty.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(reinterpret_cast<const char*>(data)), size_(size) {}

    uint8_t Byte() { return size_ > 0 ? static_cast<uint8_t>(Take(1)[0]) : 0; }
    uint16_t U16() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }
    uint32_t U32() { return static_cast<uint32_t>(U16()) | (static_cast<uint32_t>(U16()) << 16); }
    bool Bool() { return (Byte() & 1) != 0; }
    // A text of up to maxLength bytes whose length is the next byte (mod maxLength + 1).
    std::string Text(size_t maxLength) {
        size_t length = Byte() % (maxLength + 1);
        std::string_view part = Take(length);
        return std::string(part);
    }
    std::string Rest() { return std::string(Take(size_)); }
    size_t Remaining() const { return size_; }

private:
    std::string_view Take(size_t n) {
        if (n > size_) n = size_;
        std::string_view part(data_, n);
        data_ += n;
        size_ -= n;
        return part;
    }
    const char* data_;
    size_t size_;
};

// Makes a temporary folder, names it in TERVANO_PREFIX for the whole run (the layers map Windows
// paths through it) and creates drive_c and drive_c/windows in it. Called once, from
// LLVMFuzzerInitialize or the replay's first input.
inline const std::filesystem::path& Prefix() {
    static const std::filesystem::path root = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tervano-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        ::setenv("TERVANO_PREFIX", pattern.c_str(), 1);
        std::filesystem::create_directories(std::filesystem::path(pattern) / "drive_c" / "windows");
        return std::filesystem::path(pattern);
    }();
    return root;
}

inline std::optional<std::string> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
}

// Removes everything in the folder, so each input starts from the same empty state.
inline void EmptyFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

}  // namespace fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
