// The command interpreter stand-in: Windows command-line splitting, the program looked up through
// the prefix, and the program run with posix_spawn and waited for.
#include "win/Command.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "PathParts.h"
#include "win/Paths.h"

extern char** environ;

namespace fs = std::filesystem;

namespace win {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string FileNameOf(std::string_view path) {
    size_t cut = path.find_last_of("\\/:");
    return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

bool IsExecutableFile(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The entry of folder named name, without regard to case; empty when none.
fs::path MatchInFolder(const fs::path& folder, const std::string& name) {
    std::error_code ec;
    if (fs::exists(folder / name, ec)) return folder / name;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (detail::EqualNoCase(it->path().filename().string(), name)) return it->path();
    }
    return {};
}

// The file for a program named as CMD.EXE would take it, with the executable extensions tried.
fs::path FindProgram(const std::string& program) {
    static const char* const kExtensions[] = {"", ".com", ".exe", ".bat", ".cmd"};
    bool hasFolder = program.find_first_of("\\/") != std::string::npos || (program.size() >= 2 && program[1] == ':');
    if (hasFolder) {
        for (const char* extension : kExtensions) {
            fs::path host = HostPath(program + extension);
            std::error_code ec;
            if (fs::is_regular_file(host, ec)) return host;
        }
        return {};
    }
    for (const char* folder : {"C:\\windows\\system32", "C:\\windows"}) {
        fs::path dir = HostPath(folder);
        for (const char* extension : kExtensions) {
            fs::path found = MatchInFolder(dir, program + extension);
            std::error_code ec;
            if (!found.empty() && fs::is_regular_file(found, ec)) return found;
        }
    }
    return {};
}

int Run(const fs::path& program, const std::vector<std::string>& arguments) {
    if (!IsExecutableFile(program)) return -1;
    std::vector<std::string> args;
    args.push_back(program.string());
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    // The program sees the prefix even when it came from the default rather than the environment.
    std::string prefixVariable = "TERVANO_PREFIX=" + PrefixRoot().string();
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (std::strncmp(*e, "TERVANO_PREFIX=", 15) != 0) envp.push_back(*e);
    }
    envp.push_back(prefixVariable.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> out;
    size_t i = 0;
    size_t n = line.size();
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) return out;

    std::string program;
    if (line[i] == '"') {
        size_t close = line.find('"', i + 1);
        program.assign(line.substr(i + 1, close == std::string_view::npos ? std::string_view::npos : close - i - 1));
        i = close == std::string_view::npos ? n : close + 1;
    } else {
        while (i < n && !IsBlank(line[i])) program.push_back(line[i++]);
    }
    out.push_back(std::move(program));

    for (;;) {
        while (i < n && IsBlank(line[i])) ++i;
        if (i == n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            char c = line[i];
            if (c == '\\') {
                size_t count = 0;
                while (i < n && line[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < n && line[i] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg.push_back('"');
                        ++i;
                    }
                } else {
                    arg.append(count, '\\');
                }
            } else if (c == '"') {
                if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg.push_back('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg.push_back(c);
                ++i;
            }
        }
        out.push_back(std::move(arg));
    }
    return out;
}

int RunCommandInterpreter(std::string_view commandLine) {
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) return -1;
    fs::path program = FindProgram(words[0]);
    if (program.empty()) return -1;
    words.erase(words.begin());
    return Run(program, words);
}

int RunSystemCommand(const char* commandLine) {
    const char* comSpec = std::getenv("ComSpec");
    std::string interpreter = (comSpec != nullptr && *comSpec != '\0') ? comSpec : "CMD.EXE";
    std::string name = FileNameOf(interpreter);
    bool builtIn = detail::EqualNoCase(name, "cmd.exe") || detail::EqualNoCase(name, "cmd");
    if (commandLine == nullptr) {
        return builtIn || !FindProgram(interpreter).empty() ? 1 : 0;
    }
    if (builtIn) return RunCommandInterpreter(commandLine);
    fs::path program = FindProgram(interpreter);
    if (program.empty()) return -1;
    return Run(program, {"/c", commandLine});
}

}  // namespace win
