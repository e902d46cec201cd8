// The little the conduit takes from its application framework: the extension-module record that a
// library initialises when it is loaded and ends when it is unloaded, and the 64-byte object that
// links the library into the framework's chain of extension libraries.
#pragma once

#include <cstdint>

#include "win/Module.h"

namespace mfc {

struct ExtensionModule {
    bool initialized = false;
    win::HMODULE module = nullptr;
};

// Records the module in the extension-module record; true on success. false, leaving the record as it
// was, when it is already initialised or the module handle is null.
bool InitExtensionModule(ExtensionModule& record, win::HMODULE module);
// Ends the record: not initialised, no module; it may be initialised again afterwards.
void TermExtensionModule(ExtensionModule& record);

// One link of the chain of extension libraries; 64 bytes. Created once per library at load time,
// and unlinked when destroyed (in any order). The record must outlive the link. Linking, unlinking
// and First() are safe across threads; walking with Next() is safe while no link is destroyed.
class ExtensionChainLink {
public:
    explicit ExtensionChainLink(ExtensionModule& record);
    ~ExtensionChainLink();
    ExtensionChainLink(const ExtensionChainLink&) = delete;
    ExtensionChainLink& operator=(const ExtensionChainLink&) = delete;

    static ExtensionChainLink* First();  // the most recently linked library
    ExtensionChainLink* Next() const { return next_; }
    win::HMODULE Module() const { return record_->module; }

private:
    ExtensionModule* record_;
    ExtensionChainLink* next_;
    ExtensionChainLink* previous_;
    uint8_t reserved_[64 - 3 * sizeof(void*)];
};
static_assert(sizeof(ExtensionChainLink) == 64);

}  // namespace mfc
