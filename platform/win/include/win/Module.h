// Modules and their string resources. A library records its module handle when it is loaded and
// registers its string table under it; the load-string call reads a text into a bounded buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace win {

using HMODULE = const void*;

struct StringResource {
    uint32_t id;
    const char* text;
};

// The module (shared object or program) that holds the given address; null if none. The handle is
// the object's load address, so every address inside one library gives the same handle.
HMODULE ModuleOfAddress(const void* address);

// Registers the module's string table (not copied: it must outlive the registration). A second
// registration for the same module replaces the first. Safe to call from several threads.
void RegisterStringTable(HMODULE module, const StringResource* table, size_t count);
void UnregisterStringTable(HMODULE module);

// Copies the text of resource id into the buffer, cut to size - 1 characters and NUL-terminated;
// returns the number of characters copied, 0 when the module or the id is unknown or size is 0.
// With size > 0 the buffer always holds a terminated text afterwards ("" when nothing was found);
// a null buffer or a size <= 0 leaves it alone and returns 0.
int LoadString(HMODULE module, uint32_t id, char* buffer, int size);

}  // namespace win
