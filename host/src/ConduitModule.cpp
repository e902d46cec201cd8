// Loading a conduit library and calling its exports.
#include "host/ConduitModule.h"

#include "win/Library.h"

namespace host {

std::unique_ptr<ConduitModule> ConduitModule::Load(const std::string& windowsPath, std::string& error) {
    std::unique_ptr<ConduitModule> conduit(new ConduitModule);
    conduit->module_ = win::LoadLibrary(windowsPath.c_str());
    if (conduit->module_ == nullptr) {
        error = "cannot load the conduit " + windowsPath + ": " + win::LastLoadError();
        return nullptr;
    }
    auto find = [&](const char* name) -> void* {
        void* address = win::GetProcAddress(conduit->module_, name);
        if (address == nullptr && error.empty()) error = "the conduit " + windowsPath + " has no entry point " + name;
        return address;
    };
    error.clear();
    conduit->open_ = reinterpret_cast<decltype(open_)>(find("OpenConduit"));
    conduit->name_ = reinterpret_cast<decltype(name_)>(find("GetConduitName"));
    conduit->version_ = reinterpret_cast<decltype(version_)>(find("GetConduitVersion"));
    conduit->configure_ = reinterpret_cast<decltype(configure_)>(find("ConfigureConduit"));
    if (!error.empty()) return nullptr;
    return conduit;
}

ConduitModule::~ConduitModule() {
    if (module_ != nullptr) win::FreeLibrary(module_);
}

int32_t ConduitModule::OpenConduit(ConduitProgress progress, HotSyncProperties& properties) const {
    return open_(progress, properties);
}

std::string ConduitModule::GetConduitName() const {
    char buffer[80] = {};
    if (name_(buffer, sizeof buffer) != 0) return {};
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

int32_t ConduitModule::GetConduitVersion() const { return version_(); }

int32_t ConduitModule::ConfigureConduit(ConduitPreference& preference) const { return configure_(preference); }

}  // namespace host
