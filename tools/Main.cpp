// The `tervano` command: the sync host (HotSync Manager's stand-in) and the tools around it.
#include <cstring>
#include <iostream>

#include "Commands.h"

namespace {

constexpr char kUsage[] =
    "usage: tervano <command> [options]\n"
    "\n"
    "Commands:\n"
    "  setup                      make or refresh the prefix ($TERVANO_PREFIX or ~/.tervano)\n"
    "  sync --device DIR          run a HotSync of the device image DIR\n"
    "  configure                  choose what the next HotSync does with the memos\n"
    "  log                        show the last HotSync's log\n"
    "  handheld --device DIR ...  read and edit the memos of a device image\n"
    "  desktop ...                read and edit the desktop memo file\n"
    "  demo                       run a whole HotSync on a sample device in a temporary prefix\n"
    "\n"
    "Run `tervano <command> --help` for a command's options.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 || std::strcmp(command, "help") == 0) {
        std::cout << kUsage;
        return 0;
    }
    struct Entry {
        const char* name;
        int (*run)(int, char**, int);
    };
    constexpr Entry kCommands[] = {
        {"setup", tools::RunSetup},       {"sync", tools::RunSync},         {"configure", tools::RunConfigure},
        {"log", tools::RunLog},           {"handheld", tools::RunHandheld}, {"desktop", tools::RunDesktop},
        {"demo", tools::RunDemo},
    };
    for (const Entry& entry : kCommands)
        if (std::strcmp(entry.name, command) == 0) return entry.run(argc, argv, 2);
    std::cerr << "tervano: unknown command \"" << command << "\"\n\n" << kUsage;
    return 2;
}
