// Names put on a command line and command lines given to the shell: every name reaches the
// program as that one file, never as an option or as other bytes, and a line that begins
// with "-" runs as a command.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/command_runner.h"
#include "platform/shell_command.h"
#include "platform/text_codec.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace kv::platform {
namespace {

// Runs a command to its end and answers what it printed.
std::string run(const std::string& command, const std::string& dir) {
    CommandRunner r;
    EXPECT_TRUE(r.start(command, dir, {}).ok);
    for (int i = 0; i < 1000 && r.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(r.running());
    return r.take();
}

// Each name as a file holding its own number; `cat WORD` through the real shell must print
// that number and nothing else, and nothing but the files themselves may be in the folder.
TEST(ShellWords, EachNameReachesTheProgramAsThatFile) {
    const std::string names[] = {
        "plain.txt",
        "two words",
        "-oProxyCommand=touch pwned",
        "-",
        "--version",
        "it's",
        "$(touch pwned)",
        "`touch pwned`;touch pwned",
        "~home",
        "caf\xe9.txt",             // Latin-1, no UTF-8
        "\xff\xfe",                // no UTF-8 at all
        "-\x80 it's \xc3",         // option dash, a stray continuation byte, a quote, a cut sequence
        "gr\xc3\xbc\xc3\x9f.txt",  // valid UTF-8 stays as it is
        "tab\there",
    };
    test::TempDir tmp{"kv_words"};
    std::string command;
    for (std::size_t i = 0; i < std::size(names); ++i) {
        tmp.file(names[i], std::to_string(i) + "\n");
        command += "cat " + shellWordForName(names[i]) + "\n";
    }
    std::string expected;
    for (std::size_t i = 0; i < std::size(names); ++i) expected += std::to_string(i) + "\n";
    EXPECT_EQ(run(command, tmp.path()), expected) << command;
    EXPECT_FALSE(fs::exists(tmp / "pwned")) << command;

    // What goes on the command line is text a line editor keeps: UTF-8, never a raw byte.
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        const std::string w = shellWordForName(n);
        EXPECT_TRUE(IsValidUtf8(w)) << w;
        EXPECT_NE(w.front(), '-') << w;
    }
    EXPECT_EQ(shellWordForName("README.TXT"), "README.TXT");
    EXPECT_EQ(shellWordForName("-x"), "./-x");
}

TEST(ShellWords, ALineThatBeginsWithADashIsACommandNotAnOptionOfTheShell) {
    test::TempDir tmp{"kv_words"};
    run("-x; touch ran", tmp.path());
    EXPECT_TRUE(fs::exists(tmp / "ran"));
}

}  // namespace
}  // namespace kv::platform
