// The conduit's entry points as ordinary functions (the exports in Exports.cpp only forward to
// them), and the library-wide module state: the module handle, its string table and the
// extension-module registration.
#pragma once

#include <cstdint>

#include "session/SyncMonitor.h"
#include "synckit/SyncBlocks.h"
#include "win/Module.h"

inline constexpr int32_t kConduitVersion = 257;  // 0x101

// Records the module that holds the conduit's code (the shared library, or the test program when
// the conduit library is linked statically), registers the string table under it, initialises the
// extension-module record and creates the link into the chain of extension libraries. Runs once;
// later calls return the recorded handle. Called by the library's load hook.
win::HMODULE ConduitModuleInit();
// Undoes ConduitModuleInit: ends the extension-module record, destroys the link and unregisters the
// string table. Called by the library's unload hook.
void ConduitModuleEnd();
// The recorded module handle; initialises the module state on first use.
win::HMODULE ConduitModule();

// Runs one synchronization of the memo database: -1 for a null callback (no Sync Manager call) or a
// session that cannot be made; otherwise RunSession of a new CMemoMonitor, destroyed before returning.
int32_t ConduitOpen(ProgressCallback progress, HotSyncProperties& properties);
// Reads the handheld's system information into the session, then dispatches on its sync type:
// 0-3 Synchronize; 4, 7 HandleSyncType4Or7 (-1); 5 HandleSyncType5 (-1); anything else 4114.
// A failing system-information read is returned unchanged and nothing runs.
int32_t RunSession(CSyncMonitor& session);
// The display name (string 3303) into the buffer, cut to size - 1 characters: 0 when it was placed,
// -1 when the string cannot be loaded, or nothing can be placed (null buffer, size 0).
int32_t ConduitGetName(char* buffer, uint16_t size);
int32_t ConduitGetVersion();
// Shows the sync-action dialog on the action for the current sync type: accepted, the sync type
// becomes the one the chosen action stands for, the preference kind 1 (flag set) or 2, and 0;
// otherwise the sync type is unchanged, the preference kind 0, and -1.
int32_t ConduitConfigure(ConduitPreference& preference);

// The dialog action shown for a sync type: 0, 1 -> 0; 2 -> 2; 3 -> 1; any other (as unsigned) -> 3.
int ActionForSyncType(int32_t syncType);
// The sync type an accepted action stands for: 0 -> 0; 1 -> 3; 2 -> 2; any other -> 6.
int32_t SyncTypeForAction(int action);
