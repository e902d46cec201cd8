// A small command-line parser for the `tervano` command: "--name VALUE" or "--name=VALUE"
// options, "--flag" switches, positional words; "--" ends the options and "-" is a word.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tools {

struct Args {
    std::map<std::string, std::string> options;  // by name without the dashes
    std::set<std::string> flags;
    std::vector<std::string> words;

    bool Has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> Option(const std::string& name) const {
        auto it = options.find(name);
        if (it == options.end()) return std::nullopt;
        return it->second;
    }
    std::string OptionOr(const std::string& name, const std::string& fallback) const {
        return Option(name).value_or(fallback);
    }
};

// Parses argv[first..argc). valueOptions take a value, flagOptions do not; anything else that starts
// with "--" (or "-" followed by more) is refused. nullopt with error set on a refusal.
std::optional<Args> ParseArgs(int argc, char** argv, int first, const std::set<std::string>& valueOptions,
                              const std::set<std::string>& flagOptions, std::string& error);

}  // namespace tools
