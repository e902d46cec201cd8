// Module handles (the loaded object holding an address) and the per-module string tables.
#include "win/Module.h"

#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <utility>

#include "Immortal.h"

namespace win {

namespace {

struct StringTables {
    std::mutex mutex;
    std::map<HMODULE, std::pair<const StringResource*, size_t>> tables;
};

StringTables& Tables() { return detail::Immortal<StringTables>(); }  // libraries unload after exit

}  // namespace

HMODULE ModuleOfAddress(const void* address) {
    Dl_info info{};
    if (address == nullptr || ::dladdr(address, &info) == 0) return nullptr;
    return info.dli_fbase;
}

void RegisterStringTable(HMODULE module, const StringResource* table, size_t count) {
    if (module == nullptr) return;
    StringTables& t = Tables();
    std::lock_guard lock(t.mutex);
    t.tables[module] = {table, count};
}

void UnregisterStringTable(HMODULE module) {
    StringTables& t = Tables();
    std::lock_guard lock(t.mutex);
    t.tables.erase(module);
}

int LoadString(HMODULE module, uint32_t id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    buffer[0] = '\0';
    StringTables& t = Tables();
    std::lock_guard lock(t.mutex);
    auto it = t.tables.find(module);
    if (it == t.tables.end()) return 0;
    const auto [table, count] = it->second;
    for (size_t i = 0; i < count; ++i) {
        if (table[i].id != id || table[i].text == nullptr) continue;
        size_t length = std::strlen(table[i].text);
        size_t copied = length < static_cast<size_t>(size - 1) ? length : static_cast<size_t>(size - 1);
        std::memcpy(buffer, table[i].text, copied);
        buffer[copied] = '\0';
        return static_cast<int>(copied);
    }
    return 0;
}

}  // namespace win
