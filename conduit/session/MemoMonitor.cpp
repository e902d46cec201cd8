// Construction and destruction of the memo session; its memo operations live with the memo data
// (conduit/memo) and its passes beside the record rules (conduit/session).
#include "session/MemoMonitor.h"

#include "memo/MemoConverter.h"

CMemoMonitor::CMemoMonitor(ProgressCallback progress, const HotSyncProperties& properties, win::HMODULE module)
    : CSyncMonitor(progress, properties, module) {
    converter_ = new CMemoConverter();
    databaseCount_ = 1;
    currentDatabase_ = 0;
}

// The base destructor releases everything; the memo level owns nothing more.
CMemoMonitor::~CMemoMonitor() = default;
