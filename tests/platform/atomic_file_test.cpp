#include "platform/atomic_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using kv::platform::AtomicFile;

namespace {

class AtomicFileDir : public ::testing::Test {
protected:
    kv::test::TempDir tmp{"kv_atomic"};
    fs::path dir = tmp.path();
    static void put(const fs::path& p, std::string_view text) { std::ofstream(p, std::ios::binary) << text; }
    static std::string get(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
    static mode_t modeOf(const fs::path& p) {
        struct stat st {};
        EXPECT_EQ(::lstat(p.c_str(), &st), 0);
        return st.st_mode & 07777;
    }
};

TEST_F(AtomicFileDir, TheNewFileAppearsOnlyAtCommitAndNoTemporaryRemains) {
    const fs::path target = dir / "kv.ini";
    put(target, "old");
    AtomicFile f;
    ASSERT_TRUE(f.begin(AT_FDCWD, target.string()));
    ASSERT_GE(f.fd(), 0);
    EXPECT_EQ(fs::path(f.tempName()).parent_path(), dir) << "the temporary lies beside the target";
    EXPECT_TRUE(fs::exists(f.tempName()));
    ASSERT_TRUE(f.write("new ", 4));
    ASSERT_TRUE(f.write("text", 4));
    EXPECT_EQ(get(target), "old") << "readers see the old file until the rename";
    ASSERT_TRUE(f.commit());
    EXPECT_EQ(get(target), "new text");
    EXPECT_EQ(names(), std::set<std::string>{"kv.ini"});
    EXPECT_EQ(f.tempName(), "");

    // A folder descriptor and a plain name, without flushing: the same result.
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dfd, 0);
    AtomicFile g;
    ASSERT_TRUE(g.begin(dfd, "fresh.bin"));
    EXPECT_EQ(g.tempName().find('/'), std::string::npos);
    ASSERT_TRUE(g.write("\0\1", 2));
    ASSERT_TRUE(g.commit(false));
    ::close(dfd);
    EXPECT_EQ(get(dir / "fresh.bin"), std::string("\0\1", 2));
    EXPECT_EQ(names(), (std::set<std::string>{"fresh.bin", "kv.ini"}));
}

TEST_F(AtomicFileDir, AbandonedOrDestroyedFilesLeaveTheTargetAsItWas) {
    const fs::path target = dir / "a.txt";
    put(target, "old");
    {
        AtomicFile f;
        ASSERT_TRUE(f.begin(AT_FDCWD, target.string()));
        ASSERT_TRUE(f.write("new", 3));
    }  // never committed
    AtomicFile g;
    ASSERT_TRUE(g.begin(AT_FDCWD, target.string()));
    ASSERT_TRUE(g.write("new", 3));
    g.abandon();
    EXPECT_FALSE(g.commit());
    EXPECT_EQ(get(target), "old");
    EXPECT_EQ(names(), std::set<std::string>{"a.txt"});
}

// Every failure leaves the old target byte-equal and no temporary behind.
TEST_F(AtomicFileDir, AFailedWriteOrRenameKeepsTheOldTarget) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const std::string big(64 * 1024, 'b');
    struct Case {
        const char* what;
        std::function<bool(const fs::path&)> prepare;  // false: this machine cannot show it
        std::function<void()> mend;
        int wantError;
    } cases[] = {
        {"target is a folder",
         [](const fs::path& t) {
             fs::create_directory(t);
             put(t / "inside", "kept");
             return true;
         },
         [] {}, EISDIR},
        {"disk full mid-write",
         [&](const fs::path& t) {
             put(t, "old");
             std::signal(SIGXFSZ, SIG_IGN);
             rlimit small = saved;
             small.rlim_cur = 4096;
             return ::setrlimit(RLIMIT_FSIZE, &small) == 0;
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &saved);
             std::signal(SIGXFSZ, SIG_DFL);
         },
         EFBIG},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path target = dir / ("t" + std::to_string(n++));
        if (!c.prepare(target)) {
            c.mend();
            continue;
        }
        const std::set<std::string> before = names();
        AtomicFile f;
        const bool begun = f.begin(AT_FDCWD, target.string());
        const bool written = begun && f.write(big.data(), big.size());
        const bool committed = begun && f.commit();
        c.mend();
        EXPECT_TRUE(begun);
        EXPECT_FALSE(written && committed);
        EXPECT_EQ(f.error(), c.wantError);
        EXPECT_EQ(names(), before) << "a temporary was left behind";
        if (fs::is_directory(target))
            EXPECT_EQ(get(target / "inside"), "kept");
        else
            EXPECT_EQ(get(target), "old");
    }

    // A folder that cannot be written: begin fails and creates nothing.
    const fs::path ro = dir / "ro";
    fs::create_directory(ro);
    ::chmod(ro.c_str(), 0555);
    if (::access(ro.c_str(), W_OK) != 0) {  // root writes anyway
        AtomicFile f;
        EXPECT_FALSE(f.begin(AT_FDCWD, (ro / "x").string()));
        EXPECT_EQ(f.error(), EACCES);
        EXPECT_TRUE(fs::is_empty(ro));
    }
    ::chmod(ro.c_str(), 0755);
}

TEST_F(AtomicFileDir, ModeOfAnExistingTargetIsKeptAndANewOneTakesTheUmask) {
    const fs::path kept = dir / "kept", fresh = dir / "fresh", priv = dir / "private";
    put(kept, "old");
    ::chmod(kept.c_str(), 0640);
    const mode_t saved = ::umask(022);
    for (const auto& [path, mode, want] :
         {std::tuple{kept, mode_t(0666), mode_t(0640)}, std::tuple{fresh, mode_t(0666), mode_t(0644)},
          std::tuple{priv, mode_t(0600), mode_t(0600)}}) {
        SCOPED_TRACE(path.string());
        AtomicFile f;
        ASSERT_TRUE(f.begin(AT_FDCWD, path.string(), mode));
        ASSERT_TRUE(f.write("x", 1));
        ASSERT_TRUE(f.commit());
        EXPECT_EQ(modeOf(path), want);
    }
    ::umask(saved);
}

// Files that merely look like temporaries, and what a link at the target points to, are
// never opened, replaced or removed.
TEST_F(AtomicFileDir, OnlyItsOwnTemporaryIsEverTouched) {
    const fs::path target = dir / "kv.ini";
    put(target, "old");
    const std::string lookalikes[] = {".kv.ini.000000000000.tmp", ".kv.ini.ffffffffffff.tmp", ".kv.ini..tmp"};
    for (const auto& l : lookalikes) put(dir / l, "someone else's " + l);
    put(dir / "elsewhere", "pointed to");
    fs::create_symlink("elsewhere", dir / "link");

    // Two writers of one target at once get distinct temporaries; the last rename wins.
    AtomicFile a, b;
    ASSERT_TRUE(a.begin(AT_FDCWD, target.string()));
    ASSERT_TRUE(b.begin(AT_FDCWD, target.string()));
    EXPECT_NE(a.tempName(), b.tempName());
    ASSERT_TRUE(a.write("a", 1));
    ASSERT_TRUE(b.write("b", 1));
    ASSERT_TRUE(a.commit());
    ASSERT_TRUE(b.commit());
    EXPECT_EQ(get(target), "b");

    AtomicFile c;
    ASSERT_TRUE(c.begin(AT_FDCWD, target.string()));
    c.abandon();

    // A link at the target is replaced itself; the file it pointed to stays.
    AtomicFile d;
    ASSERT_TRUE(d.begin(AT_FDCWD, (dir / "link").string()));
    ASSERT_TRUE(d.write("new", 3));
    ASSERT_TRUE(d.commit());
    EXPECT_FALSE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(get(dir / "link"), "new");
    EXPECT_EQ(get(dir / "elsewhere"), "pointed to");

    for (const auto& l : lookalikes) EXPECT_EQ(get(dir / l), "someone else's " + l);
    EXPECT_EQ(names().size(), 3u + std::size(lookalikes));
}

}  // namespace
