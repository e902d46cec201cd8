// Internal to the layer: the contents of one registry file (the keys of one root with their values),
// read from and written to the REGEDIT4 text form. Pure: text in, text out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace win::detail {

struct RegistryValue {
    std::string name;  // "" is the default value
    uint32_t type = 0;
    std::string data;  // the bytes as stored (a REG_SZ string with its terminating zero)
};

struct RegistryKey {
    std::string path;  // below the root, parts joined by single backslashes; "" is the root itself
    std::vector<RegistryValue> values;
};

struct RegistryTree {
    std::vector<RegistryKey> keys;  // in file order; new keys are appended

    RegistryKey* Find(std::string_view path);
    // True when the key has a section or some key lies below it; the root always exists.
    bool Exists(std::string_view path) const;
    bool HasSubkeys(std::string_view path) const;
    // Adds sections for the key and every key above it that has none; returns the key's own.
    RegistryKey& Create(std::string_view path);
};

struct RegistryParseError {
    size_t line = 0;  // 1-based
    std::string reason;
};

// Parses the text of a file that holds keys of the root named rootName ("HKEY_LOCAL_MACHINE").
// false with *error filled when the text is damaged; tree is then unspecified.
bool ParseRegistryText(std::string_view text, std::string_view rootName, RegistryTree& tree,
                       RegistryParseError& error);
std::string FormatRegistryText(const RegistryTree& tree, std::string_view rootName);

// A subkey path in the form the tree keeps: parts joined by single backslashes, no empty parts.
std::string NormalizeKeyPath(std::string_view path);
// path joined with sub, both normalised.
std::string JoinKeyPath(std::string_view path, std::string_view sub);
// True when path is prefix itself or lies below it, without regard to case.
bool KeyPathWithin(std::string_view path, std::string_view prefix);

}  // namespace win::detail
