// `tervano sync`, `tervano configure` and `tervano log`: the sync host's own commands.
#include <iostream>

#include "Args.h"
#include "Commands.h"
#include "Text.h"
#include "host/HotSync.h"
#include "host/SyncPlan.h"
#include "synckit/ActionDialog.h"

namespace tools {
namespace {

constexpr char kSyncUsage[] =
    "usage: tervano sync --device DIR [--user NAME] [--sync fast|slow|handheld-to-desktop|desktop-to-handheld]\n"
    "                    [--quiet]\n"
    "\n"
    "Runs a HotSync of the device image DIR with the memo conduit named in the registry.\n"
    "The user is the handheld's own (--user names it for a handheld that has none yet). Without\n"
    "--sync the sync is fast when the handheld last synced with this desktop and the desktop file\n"
    "exists, slow otherwise, unless `tervano configure` chose a whole copy. The log entries are\n"
    "printed as they come (--quiet: not) and appended to C:\\Pilot\\<user>\\HotSync.log.\n"
    "Exit status: 0 when the conduit succeeded; 1 when it returned a code (printed) or the\n"
    "HotSync could not run.\n";

constexpr char kConfigureUsage[] =
    "usage: tervano configure [--user NAME]\n"
    "\n"
    "Shows the memo conduit's action dialog on the terminal and keeps the choice for the user:\n"
    "made the default, it stays until changed; otherwise it counts for the next HotSync only.\n"
    "Exit status 1 when the dialog is cancelled (nothing is changed).\n";

constexpr char kLogUsage[] =
    "usage: tervano log [--user NAME]\n"
    "\n"
    "Prints the log of the user's last HotSync (from C:\\Pilot\\<user>\\HotSync.log).\n";

}  // namespace

int RunSync(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, {"device", "user", "sync"}, {"quiet"}, error);
    if (!args) return Fail("sync", error + "\n" + kSyncUsage, 2);
    if (args->Has("help")) {
        std::cout << kSyncUsage;
        return 0;
    }
    if (!args->words.empty()) return Fail("sync", "unexpected word \"" + args->words.front() + "\"\n" + kSyncUsage, 2);
    const std::optional<std::string> device = args->Option("device");
    if (!device) return Fail("sync", std::string("--device DIR is needed\n") + kSyncUsage, 2);

    host::HotSyncRequest request;
    request.device = *device;
    request.user = args->OptionOr("user", "");
    if (const std::optional<std::string> type = args->Option("sync")) {
        request.syncType = host::ParseSyncTypeName(type->c_str());
        if (!request.syncType) return Fail("sync", "unknown sync type \"" + *type + "\"\n" + kSyncUsage, 2);
    }
    request.out = args->Has("quiet") ? nullptr : &std::cout;
    request.progress = true;

    const host::HotSyncOutcome outcome = host::RunHotSync(request);
    std::cout.flush();
    if (!outcome.conduitRan && !outcome.skipped) return Fail("sync", outcome.error);
    if (!outcome.error.empty()) Fail("sync", outcome.error);
    if (outcome.skipped) {
        std::cout << "HotSync skipped the memos, as chosen with `tervano configure`.\n";
        return outcome.error.empty() ? 0 : 1;
    }
    if (outcome.result != 0) {
        std::cerr << "tervano sync: the conduit returned " << outcome.result << "\n";
        return 1;
    }
    if (!args->Has("quiet")) std::cout << "HotSync completed (" << host::SyncTypeName(outcome.syncType) << " sync).\n";
    return outcome.error.empty() ? 0 : 1;
}

int RunConfigure(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, {"user"}, {}, error);
    if (!args) return Fail("configure", error + "\n" + kConfigureUsage, 2);
    if (args->Has("help")) {
        std::cout << kConfigureUsage;
        return 0;
    }
    if (!args->words.empty())
        return Fail("configure", "unexpected word \"" + args->words.front() + "\"\n" + kConfigureUsage, 2);
    const std::string user = host::ResolveUser(args->OptionOr("user", ""), error);
    if (user.empty()) return Fail("configure", error);

    synckit::TerminalActionResponder terminal;
    synckit::ScopedActionDialogResponder responder(terminal);
    const host::ConfigureOutcome outcome = host::ConfigureFor(user);
    if (!outcome.error.empty()) return Fail("configure", outcome.error);
    if (outcome.result != 0) {
        std::cout << "Cancelled; nothing changed.\n";
        return 1;
    }
    std::cout << "The " << (outcome.preferenceKind == 1 ? "default" : "next HotSync") << " for user \""
              << user << "\": " << host::SyncTypeName(outcome.syncType) << ".\n";
    return 0;
}

int RunLog(int argc, char** argv, int first) {
    std::string error;
    const std::optional<Args> args = ParseArgs(argc, argv, first, {"user"}, {}, error);
    if (!args) return Fail("log", error + "\n" + kLogUsage, 2);
    if (args->Has("help")) {
        std::cout << kLogUsage;
        return 0;
    }
    if (!args->words.empty()) return Fail("log", "unexpected word \"" + args->words.front() + "\"\n" + kLogUsage, 2);
    const std::string user = host::ResolveUser(args->OptionOr("user", ""), error);
    if (user.empty()) return Fail("log", error);
    const std::optional<std::string> log = host::LastHotSyncLog(user);
    if (!log) return Fail("log", "no HotSync log for user \"" + user + "\" yet");
    std::cout << *log;
    return 0;
}

}  // namespace tools
