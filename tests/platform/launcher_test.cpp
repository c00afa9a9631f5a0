// Detached launching: working folder, arguments, and errors that come back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/launcher.h"
#include "support/temp_dir.h"

namespace kv::platform {
namespace {

struct Scratch {
    test::TempDir tmp{"kvlaunch"};
    std::filesystem::path path = tmp.path();
    std::filesystem::path script(const char* name, const std::string& body) const {
        const auto p = path / name;
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        ::chmod(p.c_str(), 0755);
        return p;
    }
};

std::string waitForFile(const std::filesystem::path& p) {
    for (int i = 0; i < 300; ++i) {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string s = ss.str();
        if (!s.empty() && s.back() == '\n') return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

TEST(Launcher, AnExecutableRunsInTheGivenFolderWithItsParameters) {
    Scratch s;
    std::filesystem::create_directory(s.path / "work dir");
    const auto out = s.path / "out.txt";
    const auto prog = s.script("prog", "echo \"$(pwd) $1 $2\" > '" + out.string() + "'");
    const auto r = ExecuteFile(prog.string(), "one two", (s.path / "work dir").string());
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(waitForFile(out), (s.path / "work dir").string() + " one two\n");
}

TEST(Launcher, TheProgramInheritsNoDescriptorsOfOurs) {
    Scratch s;
    const int held = ::open((s.path / "held").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::dup2(held, 50), 50);  // an inheritable descriptor, as a careless library leaves one
    const auto out = s.path / "fd.txt";
    const auto prog =
        s.script("prog", "if [ -e /proc/$$/fd/50 ]; then echo inherited; else echo clean; fi > '" +
                             out.string() + "'");
    const auto r = runDetached({prog.string()}, "");
    ::close(50);
    ::close(held);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(waitForFile(out), "clean\n");
}

TEST(Launcher, OtherFilesGoToXdgOpen) {
    Scratch s;
    const auto out = s.path / "opened.txt";
    s.script("xdg-open", "echo \"$1\" > '" + out.string() + "'");
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (s.path.string() + ":" + oldPath).c_str(), 1);
    std::ofstream(s.path / "letter.txt") << "hi";
    const auto r = ExecuteFile((s.path / "letter.txt").string(), "", s.path.string());
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(waitForFile(out), (s.path / "letter.txt").string() + "\n");
}

TEST(Launcher, FailuresAreReportedNotSwallowed) {
    Scratch s;
    const auto prog = s.script("prog", "true");
    struct Case {
        std::vector<std::string> argv;
        std::string dir;
        std::string mentions;
    };
    for (const Case& c :
         {Case{{"kv-no-such-program-xyz"}, "", "kv-no-such-program-xyz"},
          Case{{prog.string()}, (s.path / "missing").string(), "missing"}, Case{{}, "", "empty"}}) {
        const auto r = runDetached(c.argv, c.dir);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error, 0);
        EXPECT_NE(r.message.find(c.mentions), std::string::npos) << r.message;
    }
    // A long path is no problem (the old launcher cut texts at 80 characters).
    const auto deep = s.path / std::string(120, 'd');
    std::filesystem::create_directory(deep);
    const auto out = s.path / "deep.txt";
    const auto p2 = s.script("p2", "pwd > '" + out.string() + "'");
    ASSERT_TRUE(runDetached({p2.string()}, deep.string()).ok);
    EXPECT_EQ(waitForFile(out), deep.string() + "\n");
}

TEST(Launcher, GetFileSizeGivesTheSizeOrMinusOne) {
    Scratch s;
    std::ofstream(s.path / "five") << "12345";
    EXPECT_EQ(GetFileSize((s.path / "five").string()), 5);
    EXPECT_EQ(GetFileSize((s.path / "none").string()), -1);
}

}  // namespace
}  // namespace kv::platform
