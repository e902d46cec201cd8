// A conduit library loaded the way HotSync Manager loads one: by the Windows path of its
// application entry, reached only through its four exports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "synckit/SyncBlocks.h"
#include "win/Module.h"

namespace host {

using ConduitProgress = int32_t (*)(const char* text);

class ConduitModule {
public:
    // Loads the library (win::LoadLibrary: a path with a folder is mapped through the prefix) and
    // looks up OpenConduit, GetConduitName, GetConduitVersion and ConfigureConduit. nullptr when the
    // library cannot be loaded or lacks one of them; error then says which and why.
    static std::unique_ptr<ConduitModule> Load(const std::string& windowsPath, std::string& error);
    ~ConduitModule();  // ends the load
    ConduitModule(const ConduitModule&) = delete;
    ConduitModule& operator=(const ConduitModule&) = delete;

    int32_t OpenConduit(ConduitProgress progress, HotSyncProperties& properties) const;
    std::string GetConduitName() const;  // "" when the conduit gives none
    int32_t GetConduitVersion() const;
    int32_t ConfigureConduit(ConduitPreference& preference) const;

private:
    ConduitModule() = default;
    win::HMODULE module_ = nullptr;
    int32_t (*open_)(ConduitProgress, HotSyncProperties&) = nullptr;
    int32_t (*name_)(char*, uint16_t) = nullptr;
    int32_t (*version_)() = nullptr;
    int32_t (*configure_)(ConduitPreference&) = nullptr;
};

}  // namespace host
