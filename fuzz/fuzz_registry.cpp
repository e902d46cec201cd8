// Fuzz target: the REGEDIT4 registry file reader. The parser is fed the text directly (it is pure);
// a text it reads formats into a text that reads back to the same keys and values and formats to the
// same text again. The same text is then put in the prefix as user.reg and read through the registry
// calls, whose answers must agree with the parsed tree and never write past a buffer.
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "RegistryFile.h"
#include "win/Registry.h"

namespace {

using win::detail::RegistryTree;

bool SameTree(const RegistryTree& a, const RegistryTree& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (size_t k = 0; k < a.keys.size(); ++k) {
        const auto& ka = a.keys[k];
        const auto& kb = b.keys[k];
        if (ka.path != kb.path || ka.values.size() != kb.values.size()) return false;
        for (size_t v = 0; v < ka.values.size(); ++v) {
            if (ka.values[v].name != kb.values[v].name || ka.values[v].type != kb.values[v].type ||
                ka.values[v].data != kb.values[v].data) {
                return false;
            }
        }
    }
    return true;
}

// Reads every value of the key through the registry calls and compares it with the tree's.
void CheckThroughCalls(const win::detail::RegistryKey& key) {
    win::HKEY handle = nullptr;
    const win::LONG opened = win::RegOpenKeyEx(win::HKEY_CURRENT_USER, key.path.c_str(), 0, win::KEY_READ, &handle);
    if (opened != win::ERROR_SUCCESS) {
        FUZZ_CHECK(handle == nullptr);
        return;
    }
    for (const auto& value : key.values) {
        if (value.name.find_first_of("\r\n") != std::string::npos) continue;
        win::DWORD type = 0;
        win::DWORD size = 0;
        win::LONG r = win::RegQueryValueEx(handle, value.name.c_str(), nullptr, &type, nullptr, &size);
        if (r != win::ERROR_SUCCESS) continue;  // a later value of the same name (case folded) shadows none
        // A buffer one byte short (allocated to exactly that size, so a write past it shows) is
        // refused and left alone; an exact one gets the bytes.
        if (size > 0) {
            auto small = std::make_unique<win::BYTE[]>(size - 1);
            std::memset(small.get(), 0xA5, size - 1);
            win::DWORD smallSize = size - 1;
            FUZZ_CHECK(win::RegQueryValueEx(handle, value.name.c_str(), nullptr, &type, small.get(), &smallSize) ==
                       win::ERROR_MORE_DATA);
            FUZZ_CHECK(smallSize == size);
            for (win::DWORD i = 0; i + 1 < size; ++i) FUZZ_CHECK(small[i] == 0xA5);
        }
        auto exact = std::make_unique<win::BYTE[]>(size == 0 ? 1 : size);
        win::DWORD exactSize = size;
        FUZZ_CHECK(win::RegQueryValueEx(handle, value.name.c_str(), nullptr, &type, exact.get(), &exactSize) ==
                   win::ERROR_SUCCESS);
        FUZZ_CHECK(exactSize == size);
    }
    win::RegCloseKey(handle);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::Prefix();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view root = "HKEY_CURRENT_USER";
    RegistryTree tree;
    win::detail::RegistryParseError error;
    if (!win::detail::ParseRegistryText(text, root, tree, error)) {
        FUZZ_CHECK(error.line >= 1);
        FUZZ_CHECK(!error.reason.empty());
    } else {
        const std::string formatted = win::detail::FormatRegistryText(tree, root);
        RegistryTree again;
        FUZZ_CHECK(win::detail::ParseRegistryText(formatted, root, again, error));
        FUZZ_CHECK(SameTree(tree, again));
        FUZZ_CHECK(win::detail::FormatRegistryText(again, root) == formatted);
    }

    // The same text as the user's registry file. A damaged file is refused and left as it was.
    const auto file = fuzz::Prefix() / "user.reg";
    fuzz::WriteFile(file, text);
    win::HKEY handle = nullptr;
    const win::LONG opened = win::RegOpenKeyEx(win::HKEY_CURRENT_USER, "Software", 0, win::KEY_READ, &handle);
    if (opened == win::ERROR_SUCCESS) win::RegCloseKey(handle);
    FUZZ_CHECK(opened == win::ERROR_SUCCESS || opened == win::ERROR_FILE_NOT_FOUND || opened == win::ERROR_BADDB);
    if (opened == win::ERROR_BADDB) {
        FUZZ_CHECK(fuzz::ReadFile(file) == std::string(text));
    } else if (opened != win::ERROR_BADDB && !tree.keys.empty()) {
        for (const auto& key : tree.keys) CheckThroughCalls(key);
    }
    return 0;
}
