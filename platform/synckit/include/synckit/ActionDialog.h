// The sync-action dialog: lets the user choose what the next HotSync does with a conduit's data.
// A conduit builds it, sets the name and the initial action, runs it modally and reads the answer.
// The answer comes from the attached responder (tests, the `tervano configure` terminal dialog);
// with none attached it asks on the terminal when stdin is one, and is cancelled otherwise.
#pragma once

#include <iosfwd>
#include <string>

// Actions, by index: 0 synchronize both sides, 1 desktop overwrites handheld,
// 2 handheld overwrites desktop, 3 do nothing.
class CHotSyncActionDlg {
public:
    static constexpr int kAccepted = 1;
    static constexpr int kCancelled = 2;

    explicit CHotSyncActionDlg(void* parentWindow);
    ~CHotSyncActionDlg();

    void SetConduitName(const char* name);
    void SetActionIndex(int action);
    int DoModal();  // kAccepted or kCancelled

    const std::string& ConduitName() const { return conduitName_; }
    int GetActionIndex() const { return action_; }
    int GetMakeDefault() const { return makeDefault_; }  // the yes/no flag: nonzero = make it the default
    void SetMakeDefault(int flag) { makeDefault_ = flag; }

private:
    std::string conduitName_;
    int action_ = 0;
    int makeDefault_ = 0;
};

namespace synckit {

// Answers a modal run of the dialog: may change the action and the flag; returns the modal result.
class ActionDialogResponder {
public:
    virtual ~ActionDialogResponder() = default;
    virtual int Respond(CHotSyncActionDlg& dialog) = 0;
};

// A fixed answer, for tests: accepts with the given action and flag, or cancels (the dialog is left
// as it was). Records what the dialog showed each time it ran.
class ScriptedActionResponder : public ActionDialogResponder {
public:
    static ScriptedActionResponder Accept(int action, int makeDefault) { return {true, action, makeDefault}; }
    static ScriptedActionResponder KeepAndAccept(int makeDefault) { return {true, -1, makeDefault}; }
    static ScriptedActionResponder Cancel() { return {false, -1, 0}; }
    int Respond(CHotSyncActionDlg& dialog) override;
    int shownWithAction = -1;  // the action the dialog opened on
    std::string shownWithName; // the conduit name it showed
    int timesShown = 0;
private:
    ScriptedActionResponder(bool accept, int action, int flag) : accept_(accept), action_(action), flag_(flag) {}
    bool accept_;
    int action_;  // -1 keeps the dialog's action
    int flag_;
};

// Asks on the given streams (a plain terminal dialog; by default stdin and stdout): lists the four
// actions with the current one marked, reads a number (an empty line keeps the current action), then
// asks whether to make it the default. "q", or the end of the input, cancels and changes nothing.
class TerminalActionResponder : public ActionDialogResponder {
public:
    TerminalActionResponder();
    TerminalActionResponder(std::istream& in, std::ostream& out) : in_(&in), out_(&out) {}
    int Respond(CHotSyncActionDlg& dialog) override;
private:
    std::istream* in_;
    std::ostream* out_;
};

void AttachActionDialogResponder(ActionDialogResponder* responder);  // not owned; null detaches
ActionDialogResponder* AttachedActionDialogResponder();

// Attaches for the lifetime of the object, restoring the previous responder afterwards.
class ScopedActionDialogResponder {
public:
    explicit ScopedActionDialogResponder(ActionDialogResponder& responder)
        : previous_(AttachedActionDialogResponder()) { AttachActionDialogResponder(&responder); }
    ~ScopedActionDialogResponder() { AttachActionDialogResponder(previous_); }
    ScopedActionDialogResponder(const ScopedActionDialogResponder&) = delete;
    ScopedActionDialogResponder& operator=(const ScopedActionDialogResponder&) = delete;
private:
    ActionDialogResponder* previous_;
};

}  // namespace synckit
