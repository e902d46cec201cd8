// The four exports of the conduit module and its load and unload hooks. Only these names leave the
// module; each forwards to the conduit library and lets no exception cross the boundary.
#include "session/Conduit.h"

#define TERVANO_EXPORT extern "C" __attribute__((visibility("default")))

TERVANO_EXPORT int32_t OpenConduit(ProgressCallback progress, HotSyncProperties& properties) {
    try {
        return ConduitOpen(progress, properties);
    } catch (...) {
        return -1;
    }
}

TERVANO_EXPORT int32_t GetConduitName(char* buffer, uint16_t size) {
    try {
        return ConduitGetName(buffer, size);
    } catch (...) {
        return -1;
    }
}

TERVANO_EXPORT int32_t GetConduitVersion() { return ConduitGetVersion(); }

TERVANO_EXPORT int32_t ConfigureConduit(ConduitPreference& preference) {
    try {
        return ConduitConfigure(preference);
    } catch (...) {
        return -1;
    }
}

namespace {

// Recording the module handle, its strings and the extension-module registration when the library
// is loaded into a process, and ending them when it is unloaded.
__attribute__((constructor)) void OnLibraryLoad() { ConduitModuleInit(); }
__attribute__((destructor)) void OnLibraryUnload() { ConduitModuleEnd(); }

}  // namespace
