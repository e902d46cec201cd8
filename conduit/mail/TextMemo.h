// Writing a text as a new memo in the handheld's incoming category, for long log messages and the
// incoming mail of the Netscape pass; and the scope that tells the log which session to write to.
#pragma once

#include <cstdint>
#include <string_view>

#include "session/SyncMonitor.h"
#include "synckit/Category.h"

// The record buffer of one memo write. A larger MemoLimit gets a buffer of MemoLimit bytes.
inline constexpr uint16_t kTextMemoBufferSize = 4480;
// Logged when the handheld has no room for the memo (it does not come from the string file).
inline constexpr const char* kHandheldFullText =
    "Tervano Mail: Your Pilot is full.  Please free up some space and HotSync again.";

// What the memo writer needs of a session: the handheld category list (not owned; may be null) and
// the handle of the open handheld memo database.
struct MailMemoTarget {
    CCategoryMgr* handheldCategories = nullptr;
    uint8_t dbHandle = 0;
};
inline MailMemoTarget MemoTargetOf(const CSyncMonitor& session) {
    return {session.HandheldCategories(), session.DatabaseHandle()};
}

// Writes text as one new handheld record: database handle of the target, id 0, index 0, attributes 0,
// category Mail().InboxCategoryIndex, the text up to its first NUL with every CR removed and its NUL
// stored (data size = length + 1). While the incoming index is unknown it is looked up first, by the
// name DefaultInboxName in the target's handheld category list, and remembered.
// The record buffer holds max(4480, MemoLimit) bytes; a longer text is cut to the buffer less one.
// Returns the write's result (0 on success), and:
//   -1 when the index is unknown and no category has that name (or the name is empty, or the target
//      has no category list): nothing is written or logged;
//   AllocRecordBuffer's code when no buffer can be had (not logged);
//   16404 (the handheld is full): kHandheldFullText is logged, kind -1, no time stamp;
//   any other write failure: logged with LogMailMessage("HotSync", code).
int32_t WriteTextMemo(const MailMemoTarget& target, std::string_view text);
inline int32_t WriteTextMemo(const CSyncMonitor& session, std::string_view text) {
    return WriteTextMemo(MemoTargetOf(session), text);
}

// Names the session that LogMailText writes its memo copies to, for the scope's life (the mail
// driver holds one for the whole exchange). The target is taken when the scope starts: the session's
// category list and database must stay in place meanwhile, as they do during a mail exchange.
// Starting a scope forgets the remembered incoming category index, since another handheld, or the
// same one with other categories, may be connected than at the last exchange. Scopes nest; the
// previous target comes back when a scope ends.
class MailSessionScope {
public:
    explicit MailSessionScope(const CSyncMonitor& session) : MailSessionScope(MemoTargetOf(session)) {}
    explicit MailSessionScope(const MailMemoTarget& target);
    ~MailSessionScope();
    MailSessionScope(const MailSessionScope&) = delete;
    MailSessionScope& operator=(const MailSessionScope&) = delete;

private:
    MailMemoTarget target_;
    const MailMemoTarget* previous_;
};

// The target of the innermost MailSessionScope; null when none is in force.
const MailMemoTarget* CurrentMailTarget();
