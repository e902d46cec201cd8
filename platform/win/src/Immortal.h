// Internal to the layer: process-wide tables that stay usable to the very end of the process.
#pragma once

#include <new>

namespace win::detail {

// A T built in static storage on first use and never destroyed: libraries that unload during exit
// may still call into the layer after other statics are gone. The object itself takes no heap
// memory, so a library unloaded with its tables emptied leaves nothing allocated behind.
template <class T>
T& Immortal() {
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* const object = ::new (static_cast<void*>(storage)) T();
    return *object;
}

}  // namespace win::detail
