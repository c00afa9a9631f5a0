// The files kv keeps for itself (kv.ini through the profile service here; the user menu and
// the language file in the main tests): reading never blocks, never follows a link into a
// device and never reads without end; writing replaces only a regular file of the user's,
// in a folder of the user's, and never through /proc.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

#include "platform/file_contents.h"
#include "platform/private_profile.h"
#include "support/fifo_guard.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace kv::platform {
namespace {

constexpr uid_t kOtherUser = 4242;

std::string get(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
void put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

using kv::test::FifoGuard;

bool canChown(const fs::path& p) {
    return ::geteuid() == 0 && ::chown(p.c_str(), kOtherUser, kOtherUser) == 0;
}

struct ReadCase {
    const char* what;
    std::function<void(const fs::path& ini, const fs::path& dir)> make;
    bool read;        // the file's text is taken
    const char* why;  // a part of the message when it is not ("" when no message is due)
};

TEST(OwnFiles, OnlyARegularFileOfBoundedSizeIsRead) {
    const ReadCase cases[] = {
        {"a plain file", [](const fs::path& ini, const fs::path&) { put(ini, "[A]\nx=1\n"); }, true, ""},
        {"a link to a plain file",
         [](const fs::path& ini, const fs::path& dir) {
             put(dir / "real.ini", "[A]\nx=1\n");
             fs::create_symlink("real.ini", ini);
         },
         true, ""},
        {"no file", [](const fs::path&, const fs::path&) {}, false, ""},
        {"a dangling link", [](const fs::path& ini, const fs::path&) { fs::create_symlink("gone.ini", ini); },
         false, ""},
        {"a fifo", [](const fs::path& ini, const fs::path&) { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); },
         false, "not a regular file"},
        {"a link to /dev/zero",
         [](const fs::path& ini, const fs::path&) { fs::create_symlink("/dev/zero", ini); }, false,
         "not a regular file"},
        {"a folder", [](const fs::path& ini, const fs::path&) { fs::create_directory(ini); }, false,
         "not a regular file"},
        {"a file one byte over the limit",
         [](const fs::path& ini, const fs::path&) {
             put(ini, "[A]\nx=1\n" + std::string(kSettingsFileLimit, ';'));
         },
         false, "larger than"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir tmp{"kv_own"};
        const fs::path ini = fs::path(tmp.path()) / "kv.ini";
        c.make(ini, tmp.path());
        FifoGuard guard(ini);
        const auto t0 = std::chrono::steady_clock::now();
        PrivateProfileFile profile(ini);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
        EXPECT_EQ(profile.ReadInteger("A", "x", 0), c.read ? 1 : 0);
        EXPECT_EQ(profile.readFailed(), *c.why != '\0');
        EXPECT_NE(profile.readError().find(c.why), std::string::npos) << profile.readError();
        if (profile.readFailed()) {
            const ProfileWriteResult w = profile.Commit();
            EXPECT_FALSE(w.ok) << "a file that was not read is never replaced";
        }
    }
}

struct WriteCase {
    const char* what;
    // Makes kv.ini in `dir`; answers the file that must keep its old state, or "" when none.
    std::function<fs::path(const fs::path& ini, const fs::path& dir)> make;
    bool written;
    const char* why;
};

// What ReplaceFileAtomically may replace, each case checked on the file system afterwards:
// the refused ones leave every file as it was and no temporary behind.
TEST(OwnFiles, OnlyARegularFileOfTheUsersOwnIsReplaced) {
    int savedStdin = -1;
    const WriteCase cases[] = {
        {"a new file", [](const fs::path&, const fs::path&) { return fs::path(); }, true, ""},
        {"a link to a regular file beside it",
         [](const fs::path& ini, const fs::path& dir) {
             put(dir / "real.ini", "[A]\nx=1\n");
             fs::create_symlink("real.ini", ini);
             return fs::path();
         },
         true, ""},
        {"a chain of links into a sub-folder",
         [](const fs::path& ini, const fs::path& dir) {
             fs::create_directory(dir / "dots");
             put(dir / "dots" / "kv.ini", "[A]\nx=1\n");
             fs::create_symlink(dir / "dots" / "kv.ini", dir / "hop");
             fs::create_symlink("hop", ini);
             return fs::path();
         },
         true, ""},
        {"a fifo",
         [](const fs::path& ini, const fs::path&) {
             EXPECT_EQ(::mkfifo(ini.c_str(), 0600), 0);
             return ini;
         },
         false, "not a regular file"},
        {"a link to a fifo",
         [](const fs::path& ini, const fs::path& dir) {
             EXPECT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
             fs::create_symlink("pipe", ini);
             return dir / "pipe";
         },
         false, "not a regular file"},
        {"a link to a folder",
         [](const fs::path& ini, const fs::path& dir) {
             fs::create_directory(dir / "sub");
             fs::create_symlink("sub", ini);
             return dir / "sub";
         },
         false, "not a regular file"},
        {"a dangling link",
         [](const fs::path& ini, const fs::path& dir) {
             fs::create_symlink("nothing.ini", ini);
             return dir / "nothing.ini";
         },
         false, "does not exist"},
        // Standard input made a file of the user's: the chain resolves to a regular file in
        // the user's folder, yet it is reached through /proc and is no setting of kv's.
        {"a chain to /proc/self/fd/0",
         [&savedStdin](const fs::path& ini, const fs::path& dir) {
             put(dir / "stdin.txt", "what standard input is");
             savedStdin = ::dup(0);
             const int fd = ::open((dir / "stdin.txt").c_str(), O_RDONLY);
             ::dup2(fd, 0);
             ::close(fd);
             fs::create_symlink("/proc/self/fd/0", dir / "hop");
             fs::create_symlink("hop", ini);
             return dir / "stdin.txt";
         },
         false, "through"},
        {"a link to another user's file",
         [](const fs::path& ini, const fs::path& dir) {
             put(dir / "theirs.ini", "[A]\nx=1\n");
             if (!canChown(dir / "theirs.ini")) return fs::path("skip");
             fs::create_symlink("theirs.ini", ini);
             return dir / "theirs.ini";
         },
         false, "another user"},
        {"a link into another user's folder",
         [](const fs::path& ini, const fs::path& dir) {
             fs::create_directory(dir / "theirs");
             put(dir / "theirs" / "kv.ini", "[A]\nx=1\n");
             if (!canChown(dir / "theirs")) return fs::path("skip");
             fs::create_symlink("theirs/kv.ini", ini);
             return dir / "theirs" / "kv.ini";
         },
         false, "another user"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir tmp{"kv_own"};
        const fs::path dir = tmp.path();
        const fs::path ini = dir / "kv.ini";
        const fs::path kept = c.make(ini, dir);
        if (kept == "skip") {
            std::cout << "[ skipped  ] " << c.what << ": needs root to hand a file to another user\n";
            continue;
        }
        struct stat before {};
        const bool keptExists = !kept.empty() && ::lstat(kept.c_str(), &before) == 0;
        const std::string keptText = keptExists && S_ISREG(before.st_mode) ? get(kept) : "";
        const bool wasLink = fs::is_symlink(ini);

        const ProfileWriteResult r = ReplaceFileAtomically(ini, "[A]\nx=2\n");
        if (savedStdin >= 0) {
            ::dup2(savedStdin, 0);
            ::close(savedStdin);
            savedStdin = -1;
        }
        EXPECT_EQ(r.ok, c.written) << r.error;
        EXPECT_NE(r.error.find(c.why), std::string::npos) << r.error;
        if (c.written) {
            EXPECT_EQ(GetPrivateProfileInt("A", "x", 0, ini), 2);
            EXPECT_EQ(fs::is_symlink(ini), wasLink) << "a link stays a link; its target gets the text";
        }
        if (keptExists) {
            struct stat after {};
            ASSERT_EQ(::lstat(kept.c_str(), &after), 0) << kept;
            EXPECT_EQ(after.st_ino, before.st_ino) << "replaced: " << kept;
            EXPECT_EQ(after.st_mode, before.st_mode);
            EXPECT_EQ(after.st_uid, before.st_uid);
            if (S_ISREG(before.st_mode)) {
                EXPECT_EQ(get(kept), keptText);
            }
        } else if (!kept.empty()) {
            EXPECT_FALSE(fs::exists(fs::symlink_status(kept))) << "made through a dangling link: " << kept;
        }
        for (const auto& e : fs::recursive_directory_iterator(dir))
            EXPECT_NE(e.path().extension(), ".tmp") << "a temporary was left: " << e.path();
    }
}

}  // namespace
}  // namespace kv::platform
