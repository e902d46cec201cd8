// The `tervano` command's subcommands. Each takes the words after its own name, prints what it
// did to stdout and errors to stderr, and returns the exit status (0 success, 1 failure, 2 usage).
#pragma once

#include <iosfwd>
#include <string>

namespace tools {

int RunSetup(int argc, char** argv, int first);
int RunSync(int argc, char** argv, int first);
int RunConfigure(int argc, char** argv, int first);
int RunLog(int argc, char** argv, int first);
int RunHandheld(int argc, char** argv, int first);
int RunDesktop(int argc, char** argv, int first);
int RunDemo(int argc, char** argv, int first);

// Makes or refreshes the prefix (win::PrefixRoot()); each step is reported to out. "" or what failed.
std::string SetUpPrefix(std::ostream& out);

// Reports an error the way every subcommand does: "tervano <command>: <message>" on stderr.
int Fail(const std::string& command, const std::string& message, int status = 1);

}  // namespace tools
