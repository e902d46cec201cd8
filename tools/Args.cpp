// The command-line parser of the `tervano` command.
#include "Args.h"

namespace tools {

std::optional<Args> ParseArgs(int argc, char** argv, int first, const std::set<std::string>& valueOptions,
                              const std::set<std::string>& flagOptions, std::string& error) {
    Args args;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            args.words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            args.flags.insert("help");
            continue;
        }
        if (arg.rfind("--", 0) != 0) {
            error = "unknown option " + arg;
            return std::nullopt;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const size_t equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (valueOptions.count(name) != 0) {
            if (!value) {
                if (i + 1 >= argc) {
                    error = "option --" + name + " needs a value";
                    return std::nullopt;
                }
                value = argv[++i];
            }
            args.options[name] = *value;
        } else if (flagOptions.count(name) != 0 || name == "help") {
            if (value) {
                error = "option --" + name + " takes no value";
                return std::nullopt;
            }
            args.flags.insert(name);
        } else {
            error = "unknown option --" + name;
            return std::nullopt;
        }
    }
    return args;
}

}  // namespace tools
