// The command interpreter: runs a command line in the manner of the C library's system() on
// Windows, so the configuration program can start the user's guide viewer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace win {

// Runs the command line as system() does: the interpreter named by the environment variable ComSpec,
// or "CMD.EXE" when it is not set, with the switch "/c", waiting until it returns.
// When the interpreter is CMD.EXE (ComSpec naming a file "cmd.exe" or "cmd", any case, in any folder)
// our own interpreter (RunCommandInterpreter) runs the line; any other ComSpec is mapped through the
// prefix and run with the arguments "/c" and the command line.
// A null command line asks whether an interpreter is there: non-zero when it is.
// Returns the exit status of the program run (0..255; 128 + the signal's number when a signal ended
// it), or -1 when the command cannot be run (empty line, program missing or not executable, the
// process cannot be started).
int RunSystemCommand(const char* commandLine);

// The stand-in for "CMD.EXE /c <commandLine>": splits the line (SplitCommandLine), finds the program
// and runs it with the remaining arguments, unchanged (they stay Windows texts; the program gets
// TERVANO_PREFIX in its environment to map them). Finding the program: a name with a folder is mapped
// through the prefix (HostPath); a bare name is looked for in C:\windows\system32 and C:\windows. When
// the file named is missing, the extensions .com, .exe, .bat and .cmd are tried in that order, so
// "C:\Program Files\Accessories\WordPad" finds "WordPad.exe". The program must be an executable
// host file (a program or a script with a "#!" line). Results as RunSystemCommand.
// Unlike CMD.EXE, the outer quotes of the line are not stripped (a line of two quoted parts runs
// the first as the program with the second as its argument) and no operators (&, |, <, >) are
// interpreted: they are passed on as text.
int RunCommandInterpreter(std::string_view commandLine);

// Splits a command line into the program and its arguments by the Windows rules: blanks and tabs
// separate arguments except inside double quotes; the program name ends at its closing quote and knows
// no escapes; in arguments, 2n backslashes before a quote give n backslashes and the quote opens or
// closes quoting, 2n + 1 backslashes before a quote give n backslashes and a literal quote, backslashes
// not before a quote are literal, and "" inside quotes gives one literal quote. "" alone is an
// empty argument.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace win
