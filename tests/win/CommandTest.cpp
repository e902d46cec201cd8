// The command interpreter: Windows splitting of command lines and running a program in the prefix.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "TempPrefix.h"
#include "win/Command.h"

namespace fs = std::filesystem;
using tervano::test::TempPrefix;

namespace {

TEST(SplitCommandLine, FollowsTheWindowsQuotingRules) {
    struct Case {
        const char* line;
        std::vector<std::string> words;
        const char* why;
    } cases[] = {
        {"\"C:\\Program Files\\Accessories\\WordPad\" \"C:\\Apps\\Tervano Mail.doc\"",
         {"C:\\Program Files\\Accessories\\WordPad", "C:\\Apps\\Tervano Mail.doc"}, "the user's guide line"},
        {"  prog   a\tb  ", {"prog", "a", "b"}, "blanks and tabs separate"},
        {"\"C:\\dir\\\" next", {"C:\\dir\\", "next"}, "the program name knows no escapes"},
        {"p a\\\\b", {"p", "a\\\\b"}, "backslashes before no quote are literal"},
        {"p \"a\\\\\" b", {"p", "a\\", "b"}, "2n backslashes before a quote: n, and the quote closes"},
        {"p a\\\"b", {"p", "a\"b"}, "2n+1 backslashes before a quote: n and a literal quote"},
        {"p \"a \"\"q\"\" b\"", {"p", "a \"q\" b"}, "doubled quote inside quotes"},
        {"p \"\" x", {"p", "", "x"}, "an empty quoted argument"},
        {"p ab\"c d\"e", {"p", "abc de"}, "quotes in the middle of an argument"},
        {"p \"open", {"p", "open"}, "an unclosed quote runs to the end"},
        {"", {}, "empty line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(win::SplitCommandLine(c.line), c.words);
    }
}

// Sets or clears ComSpec for the scope.
class ScopedComSpec {
public:
    explicit ScopedComSpec(const char* value) {
        if (const char* old = std::getenv("ComSpec")) saved_ = old;
        value != nullptr ? ::setenv("ComSpec", value, 1) : ::unsetenv("ComSpec");
    }
    ~ScopedComSpec() { saved_ ? ::setenv("ComSpec", saved_->c_str(), 1) : ::unsetenv("ComSpec"); }

private:
    std::optional<std::string> saved_;
};

class CommandTest : public ::testing::Test {
protected:
    // A script that writes its arguments, one per line in brackets, to <prefix>/args.txt.
    void Install(const fs::path& file, int exitCode, bool executable = true) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$TERVANO_PREFIX/args.txt\"\n"
                            << "exit " << exitCode << "\n";
        fs::permissions(file, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    }
    std::string Arguments() {
        std::ifstream in(prefix_.Root() / "args.txt");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    TempPrefix prefix_;
};

TEST_F(CommandTest, RunsTheUsersGuideLineThroughTheBuiltInInterpreter) {
    Install(prefix_.DriveC() / "Program Files" / "Accessories" / "WordPad.exe", 3);
    const char* line = "\"C:\\Program Files\\Accessories\\WordPad\" \"C:\\Apps\\Tervano Mail.doc\"";
    for (const char* comSpec : {static_cast<const char*>(nullptr), "C:\\WINDOWS\\system32\\cmd.exe", "CMD"}) {
        SCOPED_TRACE(comSpec != nullptr ? comSpec : "ComSpec not set");
        ScopedComSpec scoped(comSpec);
        fs::remove(prefix_.Root() / "args.txt");
        EXPECT_NE(win::RunSystemCommand(nullptr), 0);
        EXPECT_EQ(win::RunSystemCommand(line), 3);
        EXPECT_EQ(Arguments(), "[C:\\Apps\\Tervano Mail.doc]\n");
    }
}

TEST_F(CommandTest, FindsBareNamesInTheSystemFolders) {
    Install(prefix_.DriveC() / "windows" / "system32" / "Helper.BAT", 0);
    ScopedComSpec scoped(nullptr);
    EXPECT_EQ(win::RunSystemCommand("helper one \"two three\""), 0);
    EXPECT_EQ(Arguments(), "[one]\n[two three]\n");
}

TEST_F(CommandTest, ReportsMinusOneWhenNothingCanRun) {
    Install(prefix_.DriveC() / "Apps" / "NotExecutable.exe", 0, false);
    ScopedComSpec scoped(nullptr);
    struct Case {
        const char* line;
        const char* why;
    } cases[] = {
        {"\"C:\\Program Files\\Accessories\\WordPad\" \"x.doc\"", "no such program"},
        {"C:\\Apps\\NotExecutable", "not executable"},
        {"C:\\Apps", "a folder"},
        {"   ", "empty line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(win::RunSystemCommand(c.line), -1);
    }
}

TEST_F(CommandTest, AnotherInterpreterGetsSlashCAndTheLine) {
    Install(prefix_.DriveC() / "Tools" / "sh.exe", 5);
    ScopedComSpec scoped("C:\\Tools\\sh.exe");
    EXPECT_EQ(win::RunSystemCommand("\"C:\\x\" \"y z\""), 5);
    EXPECT_EQ(Arguments(), "[/c]\n[\"C:\\x\" \"y z\"]\n");
    ScopedComSpec missing("C:\\Tools\\missing.exe");
    EXPECT_EQ(win::RunSystemCommand(nullptr), 0);
    EXPECT_EQ(win::RunSystemCommand("x"), -1);
}

}  // namespace
