// The old request format: lists split at ";", flags by argument, results by outcome.
#include "engine_fixture.h"

using namespace kvtest;
using kv::test::TempDir;

TEST(ShellRequest, ListsAreZeroSeparatedAndDoublyTerminated) {
    EXPECT_EQ(zeroList("a;b"), std::string("a\0b\0\0", 5));
    EXPECT_EQ(zeroList("single"), std::string("single\0\0", 8));
    EXPECT_EQ(splitZeroList(zeroList("/x/a;/x/b;;")), (std::vector<std::string>{"/x/a", "/x/b"}));
}

TEST(ShellRequest, ConfirmAndRenameArgumentsDecideTheQuestion) {
    struct Row {
        const char* name;
        std::function<ShellResult(FileOpHost&, const std::string&, const std::string&)> call;
        bool asks;
        const char* landsAs;  // where the source's content ends up
    };
    const Row rows[] = {
        {"copy confirm 1", [](FileOpHost& h, auto& s, auto& t) { return ShellCopy(h, s, t, 1, 0); }, true,
         "dst/a"},
        {"copy confirm 0", [](FileOpHost& h, auto& s, auto& t) { return ShellCopy(h, s, t, 0, 0); }, false,
         "dst/a"},
        {"copy rename", [](FileOpHost& h, auto& s, auto& t) { return ShellCopy(h, s, t, 1, 1); }, false,
         "dst/Copy of a"},
        {"move noconfirm 0", [](FileOpHost& h, auto& s, auto& t) { return ShellMove(h, s, t, 0, 0); }, true,
         "dst/a"},
        {"move noconfirm 1", [](FileOpHost& h, auto& s, auto& t) { return ShellMove(h, s, t, 1, 0); }, false,
         "dst/a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t;
        t.dir("dst");
        t.file("a", "new");
        t.file("dst/a", "old");
        ScriptedDecider d;
        d.conflictAnswers = {Decision::Overwrite};
        DirectHost host(d);
        const ShellResult r = row.call(host, t / "a", t / "dst");
        EXPECT_TRUE(r);
        EXPECT_EQ(d.conflicts.size(), row.asks ? 1u : 0u);
        EXPECT_EQ(t.read(row.landsAs), "new");
    }
}

TEST(ShellRequest, ATypedListCopiesEveryNameInOneRequest) {
    TempDir t;
    t.dir("dst");
    t.file("a", "a");
    t.file("b", "b");
    ScriptedDecider d;
    DirectHost host(d);
    EXPECT_TRUE(ShellCopy(host, t / "a" + ";" + t / "b", t / "dst", 1, 0));
    EXPECT_EQ(t.read("dst/a"), "a");
    EXPECT_EQ(t.read("dst/b"), "b");
}

TEST(ShellRequest, WildcardsMatchFilesOnly) {
    TempDir t;
    t.dir("src/dir.txt");
    t.file("src/one.txt", "1");
    t.file("src/two.txt", "2");
    t.file("src/three.doc", "3");
    t.dir("dst");
    ScriptedDecider d;
    DirectHost host(d);
    EXPECT_TRUE(ShellCopy(host, t / "src/*.txt", t / "dst", 1, 0));
    EXPECT_TRUE(fs::exists(t / "dst/one.txt") && fs::exists(t / "dst/two.txt"));
    EXPECT_FALSE(fs::exists(t / "dst/dir.txt"));
    EXPECT_FALSE(fs::exists(t / "dst/three.doc"));
}

TEST(ShellRequest, CancelSetsTheAbortedFlagAndAFailureIsNoSuccess) {
    TempDir t;
    t.dir("dst");
    t.file("a", "new");
    t.file("dst/a", "old");
    ScriptedDecider d;
    d.conflictAnswers = {Decision::Cancel};
    DirectHost host(d);
    const ShellResult cancelled = ShellCopy(host, t / "a", t / "dst", 1, 0);
    EXPECT_FALSE(cancelled);
    EXPECT_TRUE(cancelled.aborted);
    const ShellResult failed = ShellCopy(host, t / "missing", t / "dst", 1, 0);
    EXPECT_FALSE(failed);
    EXPECT_FALSE(failed.aborted);
    EXPECT_EQ(failed.job.failures.size(), 1u);
}

TEST(ShellRequest, DeleteGoesToTheTrashOnlyWithRecycle) {
    TempDir t;
    ::setenv("XDG_DATA_HOME", (t / "data").c_str(), 1);
    t.file("a", "a");
    t.file("b", "b");
    ScriptedDecider d;
    DirectHost host(d);
    EXPECT_TRUE(ShellDelete(host, t / "a", 1, 0));
    EXPECT_TRUE(ShellDelete(host, t / "b", 0, 0));
    EXPECT_FALSE(fs::exists(t / "a"));
    EXPECT_FALSE(fs::exists(t / "b"));
    EXPECT_EQ(t.read("data/Trash/files/a"), "a");
    EXPECT_FALSE(fs::exists(t / "data/Trash/files/b"));
    ::unsetenv("XDG_DATA_HOME");
}
