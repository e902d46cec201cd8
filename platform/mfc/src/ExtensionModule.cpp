// The extension-module record and the chain of extension libraries a process has loaded.
#include "mfc/ExtensionModule.h"

#include <cstring>
#include <mutex>
#include <type_traits>

namespace mfc {

namespace {

// Libraries may unlink while statics are torn down: the mutex is constant-initialised and has
// nothing to destroy, so it stays usable to the very end and nothing is left allocated.
static_assert(std::is_trivially_destructible_v<std::mutex>);
std::mutex& ChainMutex() {
    static constinit std::mutex mutex;
    return mutex;
}

ExtensionChainLink*& ChainHead() {
    static ExtensionChainLink* head = nullptr;
    return head;
}

}  // namespace

bool InitExtensionModule(ExtensionModule& record, win::HMODULE module) {
    if (record.initialized || module == nullptr) return false;
    record.module = module;
    record.initialized = true;
    return true;
}

void TermExtensionModule(ExtensionModule& record) {
    record.initialized = false;
    record.module = nullptr;
}

ExtensionChainLink::ExtensionChainLink(ExtensionModule& record) : record_(&record), previous_(nullptr) {
    std::memset(reserved_, 0, sizeof reserved_);
    std::lock_guard lock(ChainMutex());
    next_ = ChainHead();
    if (next_ != nullptr) next_->previous_ = this;
    ChainHead() = this;
}

ExtensionChainLink::~ExtensionChainLink() {
    std::lock_guard lock(ChainMutex());
    if (previous_ != nullptr) {
        previous_->next_ = next_;
    } else if (ChainHead() == this) {
        ChainHead() = next_;
    }
    if (next_ != nullptr) next_->previous_ = previous_;
    next_ = previous_ = nullptr;
}

ExtensionChainLink* ExtensionChainLink::First() {
    std::lock_guard lock(ChainMutex());
    return ChainHead();
}

}  // namespace mfc
