// The conduit's entry points and its module state: one HotSync per call, the configuration dialog,
// the name and the version.
#include "session/Conduit.h"

#include <memory>
#include <new>

#include "mfc/ExtensionModule.h"
#include "resources/StringTable.h"
#include "session/MemoMonitor.h"
#include "synckit/ActionDialog.h"
#include "synckit/SyncMgr.h"

namespace {

// The only library-wide state: set once at load time, ended at unload.
struct ModuleState {
    win::HMODULE module = nullptr;
    mfc::ExtensionModule extension;
    std::unique_ptr<mfc::ExtensionChainLink> link;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

// An address inside this library, to find the module that holds it.
const char kModuleAnchor = 0;

}  // namespace

win::HMODULE ConduitModuleInit() {
    ModuleState& state = State();
    if (state.module != nullptr) return state.module;
    state.module = win::ModuleOfAddress(&kModuleAnchor);
    if (state.module == nullptr) return nullptr;
    win::RegisterStringTable(state.module, ConduitStrings(), ConduitStringCount());
    mfc::InitExtensionModule(state.extension, state.module);
    state.link = std::make_unique<mfc::ExtensionChainLink>(state.extension);
    return state.module;
}

void ConduitModuleEnd() {
    ModuleState& state = State();
    if (state.module == nullptr) return;
    state.link.reset();
    mfc::TermExtensionModule(state.extension);
    win::UnregisterStringTable(state.module);
    state.module = nullptr;
}

win::HMODULE ConduitModule() { return ConduitModuleInit(); }

int32_t RunSession(CSyncMonitor& session) {
    int32_t result = SyncReadSystemInfo(session.SystemInfo());
    if (result != 0) return result;
    switch (session.SyncType()) {
        case 0:
        case 1:
        case 2:
        case 3:
            return session.Synchronize();
        case 4:
        case 7:
            return session.HandleSyncType4Or7();
        case 5:
            return session.HandleSyncType5();
        default:
            return kErrUnsupportedSyncType;
    }
}

int32_t ConduitOpen(ProgressCallback progress, HotSyncProperties& properties) {
    if (progress == nullptr) return -1;
    std::unique_ptr<CMemoMonitor> session;
    try {
        session = std::make_unique<CMemoMonitor>(progress, properties, ConduitModule());
    } catch (const std::bad_alloc&) {
        return -1;  // the session could not be made: nothing was touched
    }
    return RunSession(*session);
}

int32_t ConduitGetName(char* buffer, uint16_t size) {
    if (buffer == nullptr || size == 0) return -1;
    // Tell "not loadable" apart from "cut to nothing" (a one-character buffer holds only the NUL).
    char probe[kStringBufferSize];
    if (win::LoadString(ConduitModule(), kStrConduitName, probe, sizeof probe) == 0) return -1;
    win::LoadString(ConduitModule(), kStrConduitName, buffer, size);
    return 0;
}

int32_t ConduitGetVersion() { return kConduitVersion; }

int ActionForSyncType(int32_t syncType) {
    switch (static_cast<uint32_t>(syncType)) {
        case 0:
        case 1:
            return 0;
        case 2:
            return 2;
        case 3:
            return 1;
        default:
            return 3;
    }
}

int32_t SyncTypeForAction(int action) {
    switch (action) {
        case 0:
            return 0;
        case 1:
            return 3;
        case 2:
            return 2;
        default:
            return 6;
    }
}

int32_t ConduitConfigure(ConduitPreference& preference) {
    CHotSyncActionDlg dialog(nullptr);
    preference.preferenceKind = 0;
    char name[80] = {};
    ConduitGetName(name, sizeof name);
    dialog.SetConduitName(name);
    dialog.SetActionIndex(ActionForSyncType(preference.syncType));
    if (dialog.DoModal() != CHotSyncActionDlg::kAccepted) return -1;
    preference.syncType = SyncTypeForAction(dialog.GetActionIndex());
    preference.preferenceKind = dialog.GetMakeDefault() != 0 ? 1 : 2;
    return 0;
}
