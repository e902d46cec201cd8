// The sync-action dialog and its responders: a scripted answer for tests and a plain terminal prompt.
#include "synckit/ActionDialog.h"

#include <iostream>
#include <string>
#include <unistd.h>

namespace synckit {
namespace {

ActionDialogResponder* attachedResponder = nullptr;

constexpr int kActionCount = 4;
constexpr const char* kActionNames[kActionCount] = {
    "Synchronize the files",
    "Desktop overwrites handheld",
    "Handheld overwrites Desktop",
    "Do nothing",
};

// Strips blanks and a carriage return at both ends of an answer line.
std::string Trimmed(const std::string& line) {
    const char* blanks = " \t\r";
    const size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// The action number typed, or -1 when the answer is not one of them.
int ParseAction(const std::string& answer) {
    if (answer.size() != 1 || answer[0] < '0' || answer[0] >= '0' + kActionCount) return -1;
    return answer[0] - '0';
}

}  // namespace

int ScriptedActionResponder::Respond(CHotSyncActionDlg& dialog) {
    ++timesShown;
    shownWithAction = dialog.GetActionIndex();
    shownWithName = dialog.ConduitName();
    if (!accept_) return CHotSyncActionDlg::kCancelled;
    if (action_ >= 0) dialog.SetActionIndex(action_);
    dialog.SetMakeDefault(flag_);
    return CHotSyncActionDlg::kAccepted;
}

TerminalActionResponder::TerminalActionResponder() : in_(&std::cin), out_(&std::cout) {}

int TerminalActionResponder::Respond(CHotSyncActionDlg& dialog) {
    std::istream& in = *in_;
    std::ostream& out = *out_;
    const int current = dialog.GetActionIndex();

    out << "What should the next HotSync do with " << dialog.ConduitName() << "?\n";
    for (int i = 0; i < kActionCount; ++i) {
        out << (i == current ? "  * " : "    ") << i << "  " << kActionNames[i]
            << (i == current ? "  (current)" : "") << "\n";
    }

    int chosen = current;
    std::string line;
    for (;;) {
        out << "Type the number of an action (Enter keeps the current one, q cancels): " << std::flush;
        if (!std::getline(in, line)) return CHotSyncActionDlg::kCancelled;
        const std::string answer = Trimmed(line);
        if (answer == "q" || answer == "Q") return CHotSyncActionDlg::kCancelled;
        // An empty line keeps the current action, but only when there is a valid one to keep.
        if (answer.empty() && current >= 0 && current < kActionCount) break;
        chosen = ParseAction(answer);
        if (chosen >= 0) break;
        out << "Please type a number from 0 to " << kActionCount - 1 << ".\n";
    }

    int makeDefault = 0;
    for (;;) {
        out << "Make this the default? [y/N] " << std::flush;
        if (!std::getline(in, line)) return CHotSyncActionDlg::kCancelled;
        const std::string answer = Trimmed(line);
        if (answer == "q" || answer == "Q") return CHotSyncActionDlg::kCancelled;
        if (answer.empty() || answer == "n" || answer == "N" || answer == "no") break;
        if (answer == "y" || answer == "Y" || answer == "yes") {
            makeDefault = 1;
            break;
        }
        out << "Please answer y or n.\n";
    }

    dialog.SetActionIndex(chosen);
    dialog.SetMakeDefault(makeDefault);
    return CHotSyncActionDlg::kAccepted;
}

void AttachActionDialogResponder(ActionDialogResponder* responder) { attachedResponder = responder; }
ActionDialogResponder* AttachedActionDialogResponder() { return attachedResponder; }

}  // namespace synckit

CHotSyncActionDlg::CHotSyncActionDlg(void* /*parentWindow*/) {}
CHotSyncActionDlg::~CHotSyncActionDlg() = default;

void CHotSyncActionDlg::SetConduitName(const char* name) { conduitName_ = name != nullptr ? name : ""; }
void CHotSyncActionDlg::SetActionIndex(int action) { action_ = action; }

int CHotSyncActionDlg::DoModal() {
    if (synckit::ActionDialogResponder* responder = synckit::AttachedActionDialogResponder()) {
        return responder->Respond(*this);
    }
    // Without a responder, ask on the terminal if there is one; a sync run without one (a service,
    // a script) must not wait for an answer that never comes.
    if (::isatty(0)) {
        synckit::TerminalActionResponder terminal;
        return terminal.Respond(*this);
    }
    return kCancelled;
}
