// Typed commands through the shell: folder, output, exit codes, descriptors, floods.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "platform/command_runner.h"
#include "support/temp_dir.h"

namespace kv::platform {
namespace {

// Runs a command to its end (the pipe closed too) and answers everything it printed.
std::string runToEnd(CommandRunner& r, const std::string& command, const std::string& dir) {
    EXPECT_TRUE(r.start(command, dir, {}).ok);
    for (int i = 0; i < 1000 && r.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(r.running());
    return r.take();
}

TEST(CommandRunner, RunsInTheFolderWithBothStreamsInOrderAndNoInput) {
    test::TempDir tmp{"kvrun"};
    CommandRunner r;
    // cat would wait for ever on an inherited terminal; its input is /dev/null.
    EXPECT_EQ(runToEnd(r, "cat; pwd; echo oops >&2; echo done; exit 3", tmp.path()),
              tmp.path() + "\noops\ndone\n");
    EXPECT_EQ(r.exitCode(), 3);
}

TEST(CommandRunner, ACommandThatCannotStartGivesTheShellsMessage) {
    test::TempDir tmp{"kvrun"};
    tmp.file("plain.sh", "echo hi\n");  // no execute bit
    struct Case {
        const char* command;
        int code;
        const char* says;
    } cases[] = {{"no_such_program_kv_test", 127, "not found"}, {"./plain.sh", 126, "Permission denied"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        CommandRunner r;
        const std::string out = runToEnd(r, c.command, tmp.path());
        EXPECT_EQ(r.exitCode(), c.code);
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

TEST(CommandRunner, AMissingFolderIsAnErrorBeforeAnythingRuns) {
    test::TempDir tmp{"kvrun"};
    CommandRunner r;
    const auto res = r.start("touch made", tmp / "gone", {});
    EXPECT_FALSE(res.ok);
    EXPECT_NE(res.message.find(tmp / "gone"), std::string::npos) << res.message;
}

// The command sees none of kv's descriptors and has a session of its own, so closing
// kv's terminal or pressing Ctrl+C there does not reach it.
TEST(CommandRunner, TheCommandInheritsNoDescriptorAndHasItsOwnSession) {
    test::TempDir tmp{"kvrun"};
    const int leaked = ::open(tmp.file("held", "x").c_str(), O_RDONLY);  // no O_CLOEXEC
    ASSERT_GE(leaked, 3);
    CommandRunner r;
    const std::string out =
        runToEnd(r,
                 "test -e /proc/$$/fd/" + std::to_string(leaked) +
                     " && echo leaked || echo clean; "
                     "set -- $(cat /proc/$$/stat); [ \"$6\" = \"$$\" ] && echo own-session",
                 tmp.path());
    ::close(leaked);
    EXPECT_EQ(out, "clean\nown-session\n");
}

// A flood costs at most twice the buffer limit, and every byte is either taken or counted.
TEST(CommandRunner, AFloodKeepsOnlyTheNewestOutput) {
    test::TempDir tmp{"kvrun"};
    std::atomic<int> announcements{0};
    CommandRunner r;
    ASSERT_TRUE(r.start("yes 0123456789abcdef | head -c 30000000; echo; echo last", tmp.path(),
                        {[&] { ++announcements; }, {}})
                    .ok);
    for (int i = 0; i < 3000 && r.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(r.running());
    std::uint64_t skipped = 0;
    const std::string out = r.take(&skipped);
    EXPECT_LE(out.size(), 2 * CommandRunner::kBufferLimit);
    EXPECT_EQ(out.size() + skipped, 30000000u + 6u);
    EXPECT_EQ(out.substr(out.size() - 6), "\nlast\n");
    EXPECT_EQ(announcements.load(), 1) << "nobody took the output, so it is announced once";
}

// A program left running in the background keeps the pipe open; the shell's end is still
// reported, and stopping does not wait for the program.
TEST(CommandRunner, ABackgroundProgramNeitherHidesTheExitNorHoldsUpStop) {
    test::TempDir tmp{"kvrun"};
    std::atomic<int> exitSeen{-1};
    CommandRunner r;
    ASSERT_TRUE(r.start("sleep 30 & echo started", tmp.path(), {{}, [&](int code) { exitSeen = code; }}).ok);
    ASSERT_TRUE(r.waitExit(5000));
    EXPECT_EQ(exitSeen.load(), 0);
    EXPECT_TRUE(r.running()) << "sleep still holds the pipe";
    EXPECT_EQ(r.take(), "started\n");
    const auto t0 = std::chrono::steady_clock::now();
    r.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

}  // namespace
}  // namespace kv::platform

namespace kv::platform {
namespace {

// Longer than one argument may be: the shell still gets the whole line, and the way it
// came leaves no descriptor behind for the programs it starts.
TEST(CommandRunner, ACommandLineOfAnyLengthRuns) {
    test::TempDir tmp{"kvrun"};
    CommandRunner r;
    const std::string word(300000, 'a');
    EXPECT_EQ(runToEnd(r, "printf %s " + word + " | wc -c; test -e /proc/$$/fd/3 && echo leaked; exit 0",
                       tmp.path()),
              "300000\n");
    EXPECT_EQ(r.exitCode(), 0);
}

}  // namespace
}  // namespace kv::platform
