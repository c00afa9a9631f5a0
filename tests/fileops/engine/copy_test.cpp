// Copy and move on real temporary trees: what arrives, what the answers do, what is refused.
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>
#include <thread>

#include "engine_fixture.h"
#include "fileops/engine/job_thread.h"
#include "fileops/engine/transfer_job.h"

using namespace kvtest;
using kv::test::TempDir;

namespace {

// src/ with files of several modes, a nested folder, links (relative, absolute, dangling,
// to a folder), an empty file and a fifo; every time set to the past.
void makeTree(const TempDir& t) {
    t.dir("src/sub/deeper");
    t.file("src/a.txt", "alpha");
    t.file("src/empty", "");
    t.file("src/sub/run.sh", "#!/bin/sh\necho hi\n");
    t.file("src/sub/deeper/big.bin", std::string(3 << 20, 'b') + "end");
    ::chmod((t / "src/sub/run.sh").c_str(), 0750);
    ::chmod((t / "src/a.txt").c_str(), 0604);
    ::chmod((t / "src/sub/deeper").c_str(), 0711);
    ::symlink("a.txt", (t / "src/rel-link").c_str());
    ::symlink("/nonexistent/target", (t / "src/dangling").c_str());
    ::symlink("sub", (t / "src/dir-link").c_str());
    ::mkfifo((t / "src/pipe").c_str(), 0640);
    // A folder of many small files, made by the path that does not look at the target first.
    t.dir("src/many");
    for (int i = 0; i < 40; ++i) {
        const std::string f =
            t.file("src/many/f" + std::to_string(i), std::string(100 + i * 37, char('a' + i % 26)));
        ::chmod(f.c_str(), i % 2 ? 0640 : 0604);
        setTimes(f, 1000000000 + i);
    }
    setTimes(t / "src/many", 1000000000);
    for (const char* p :
         {"src/a.txt", "src/empty", "src/sub/run.sh", "src/sub/deeper/big.bin", "src/rel-link",
          "src/dangling", "src/dir-link", "src/pipe", "src/sub/deeper", "src/sub", "src"})
        setTimes(t / p, 1000000000);
}

JobResult copy(Decider& d, std::vector<std::string> sources, const std::string& target, bool move = false,
               bool noConfirm = false) {
    TransferRequest r;
    r.sources = std::move(sources);
    r.target = target;
    r.move = move;
    r.noConfirm = noConfirm;
    TransferJob job(r);
    Progress p;
    return job.run(d, p);
}

}  // namespace

TEST(Copy, RecursiveCopyKeepsContentModesTimesLinksAndFifos) {
    TempDir t;
    makeTree(t);
    t.dir("dst");
    ScriptedDecider d;
    const JobResult r = copy(d, {t / "src"}, t / "dst");
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_TRUE(r.failures.empty());
    EXPECT_TRUE(d.conflicts.empty() && d.errors.empty());
    EXPECT_EQ(snapshot(t / "dst/src"), snapshot(t / "src"));
    EXPECT_TRUE(temporariesIn(t / "dst").empty());
    // The link to a folder stayed a link: its folder was not copied a second time.
    EXPECT_TRUE(fs::is_symlink(t / "dst/src/dir-link"));
}

TEST(Copy, OneSourceOntoAMissingNameTakesThatName) {
    TempDir t;
    t.file("a.txt", "alpha");
    ScriptedDecider d;
    EXPECT_EQ(copy(d, {t / "a.txt"}, t / "b.txt").outcome, Outcome::Done);
    EXPECT_EQ(t.read("b.txt"), "alpha");
}

TEST(Copy, SocketsAreLeftOutWithANote) {
    TempDir t;
    t.dir("src");
    t.dir("dst");
    t.file("src/kept", "k");
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string sp = t / "src/sock";
    ASSERT_LT(sp.size(), sizeof a.sun_path);
    std::strcpy(a.sun_path, sp.c_str());
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ScriptedDecider d;
    const JobResult r = copy(d, {t / "src"}, t / "dst");
    ::close(s);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_NE(r.notes[0].find("sock"), std::string::npos);
    EXPECT_EQ(t.read("dst/src/kept"), "k");
    EXPECT_FALSE(fs::exists(fs::symlink_status(t / "dst/src/sock")));
}

// Each answer to "the target exists" gives its own files.
TEST(Copy, ConflictAnswersGiveTheRightFiles) {
    struct Row {
        const char* name;
        std::vector<Decision> answers;
        std::string expectA, expectB;
        size_t questions;
        Outcome outcome;
    };
    const Row rows[] = {
        {"overwrite, skip", {Decision::Overwrite, Decision::Skip}, "new-a", "old-b", 2, Outcome::Done},
        {"skip, overwrite", {Decision::Skip, Decision::Overwrite}, "old-a", "new-b", 2, Outcome::Done},
        {"overwrite all", {Decision::OverwriteAll}, "new-a", "new-b", 1, Outcome::Done},
        {"skip all", {Decision::SkipAll}, "old-a", "old-b", 1, Outcome::Done},
        {"cancel", {Decision::Cancel}, "old-a", "old-b", 1, Outcome::Cancelled},
        {"overwrite, cancel",
         {Decision::Overwrite, Decision::Cancel},
         "new-a",
         "old-b",
         2,
         Outcome::Cancelled},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir t;
        t.dir("src");
        t.dir("dst");
        t.file("src/a", "new-a");
        t.file("src/b", "new-b");
        t.file("src/c", "new-c");
        t.file("dst/a", "old-a");
        t.file("dst/b", "old-b");
        ScriptedDecider d;
        d.conflictAnswers.assign(row.answers.begin(), row.answers.end());
        const JobResult r = copy(d, {t / "src/a", t / "src/b", t / "src/c"}, t / "dst");
        EXPECT_EQ(r.outcome, row.outcome);
        EXPECT_EQ(t.read("dst/a"), row.expectA);
        EXPECT_EQ(t.read("dst/b"), row.expectB);
        EXPECT_EQ(d.conflicts.size(), row.questions);
        EXPECT_EQ(fs::exists(t / "dst/c"), row.outcome != Outcome::Cancelled);
        // The question shows both sides.
        EXPECT_EQ(d.conflicts[0].source.size, 5);
        EXPECT_EQ(d.conflicts[0].target.path, t / "dst/a");
        EXPECT_TRUE(temporariesIn(t / "dst").empty());
    }
}

TEST(Copy, FoldersMergeAndAskOnlyAboutFilesInTheWay) {
    TempDir t;
    t.dir("src/x");
    t.file("src/x/new.txt", "new");
    t.file("src/x/same.txt", "mine");
    t.dir("dst/x");
    t.file("dst/x/old.txt", "old");
    t.file("dst/x/same.txt", "theirs");
    ScriptedDecider d;
    d.conflictAnswers = {Decision::Skip};
    EXPECT_EQ(copy(d, {t / "src/x"}, t / "dst").outcome, Outcome::Done);
    EXPECT_EQ(d.conflicts.size(), 1u);
    EXPECT_EQ(t.read("dst/x/old.txt"), "old");
    EXPECT_EQ(t.read("dst/x/new.txt"), "new");
    EXPECT_EQ(t.read("dst/x/same.txt"), "theirs");
}

TEST(Copy, RefusesAFolderIntoItselfOrItsSubtreeAndAFileOntoItself) {
    TempDir t;
    t.dir("a/b/c");
    t.file("a/f.txt", "f");
    ::symlink((t / "a/b").c_str(), (t / "via-link").c_str());
    struct Row {
        std::string source, target;
        bool move;
    };
    const Row rows[] = {
        {t / "a", t / "a", false},         {t / "a", t / "a/b", false},
        {t / "a", t / "a/b/c", true},      {t / "a", t / "via-link", false},
        {t / "a/f.txt", t / "a", false},   {t / "a/f.txt", t / "a/f.txt", true},
        {t / "a", t / "a/b/c/new", false},
    };
    const auto before = snapshot(t.path());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source + " -> " + row.target);
        ScriptedDecider d;
        const JobResult r = copy(d, {row.source}, row.target, row.move);
        EXPECT_EQ(r.outcome, Outcome::Failed);
        ASSERT_EQ(r.failures.size(), 1u);
        EXPECT_NE(r.failures[0].reason.find("itself"), std::string::npos);
        EXPECT_TRUE(d.conflicts.empty());
    }
    EXPECT_EQ(snapshot(t.path()), before);
}

TEST(Copy, SeveralSourcesNeverBecomeOneFile) {
    TempDir t;
    t.file("a", "a");
    t.file("b", "b");
    t.file("target", "target");
    ScriptedDecider d;
    EXPECT_EQ(copy(d, {t / "a", t / "b"}, t / "target", true).outcome, Outcome::Failed);
    EXPECT_EQ(t.read("target"), "target");
    EXPECT_EQ(t.read("a"), "a");
    // Onto a missing name they get a folder of that name.
    EXPECT_EQ(copy(d, {t / "a", t / "b"}, t / "newdir", true).outcome, Outcome::Done);
    EXPECT_EQ(t.read("newdir/a"), "a");
    EXPECT_EQ(t.read("newdir/b"), "b");
}

TEST(Copy, CancelInTheMiddleOfALargeFileLeavesNoTarget) {
    TempDir t;
    t.dir("dst");
    t.file("big", std::string(256u << 20, 'z'));
    TransferRequest r;
    r.sources = {t / "big"};
    r.target = t / "dst";
    TransferJob job(r);
    ScriptedDecider d;
    JobThread worker(job, d);
    worker.start();
    while (!worker.finished() && worker.progress().snapshot().bytesDone == 0) std::this_thread::yield();
    const bool caughtInTheMiddle = !worker.finished();
    worker.cancel();
    const JobResult result = worker.wait();
    if (!caughtInTheMiddle) GTEST_SKIP() << "the copy ended before it could be cancelled";
    EXPECT_EQ(result.outcome, Outcome::Cancelled);
    EXPECT_TRUE(result.failures.empty()) << "a cancel is not a failure";
    EXPECT_TRUE(fs::is_empty(t / "dst")) << "neither the target nor its temporary stays";
}

TEST(Move, SameFileSystemRenamesAndAsksBeforeReplacing) {
    TempDir t;
    t.file("a", "new");
    t.file("b", "old");
    ScriptedDecider d;
    d.conflictAnswers = {Decision::Skip};
    EXPECT_EQ(copy(d, {t / "a"}, t / "b", true).outcome, Outcome::Done);
    EXPECT_EQ(d.conflicts.size(), 1u);
    EXPECT_EQ(t.read("a"), "new");
    EXPECT_EQ(t.read("b"), "old");
    d.conflictAnswers = {Decision::Overwrite};
    EXPECT_EQ(copy(d, {t / "a"}, t / "b", true).outcome, Outcome::Done);
    EXPECT_FALSE(fs::exists(t / "a"));
    EXPECT_EQ(t.read("b"), "new");
}

TEST(Move, AcrossFileSystemsKeepsEverythingAndRemovesTheSource) {
    TinyTmpfs other("64m");
    if (!other.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    TempDir t;
    makeTree(t);
    const auto before = snapshot(t / "src");
    ScriptedDecider d;
    const JobResult r = copy(d, {t / "src"}, other.path(), true);
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_TRUE(d.errors.empty());
    EXPECT_EQ(snapshot(other.path() + "/src"), before);
    EXPECT_FALSE(fs::exists(t / "src"));
}

TEST(Copy, AFullTargetAsksAndLeavesTheSourceAndNoPartialFile) {
    TinyTmpfs small("256k");
    if (!small.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    TempDir t;
    const std::string content(1 << 20, 'q');
    t.file("big", content);
    for (bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        ScriptedDecider d;
        d.errorAnswers = {Decision::Retry, Decision::Cancel};
        const JobResult r = copy(d, {t / "big"}, small.path(), move);
        EXPECT_EQ(r.outcome, Outcome::Cancelled);
        ASSERT_EQ(d.errors.size(), 2u) << "asked again after Retry";
        EXPECT_EQ(d.errors[0].error, ENOSPC);
        EXPECT_EQ(d.errors[0].path, small.path() + "/big");
        EXPECT_TRUE(fs::is_empty(small.path()));
        EXPECT_EQ(t.read("big"), content);
    }
    // Skip records the failure and goes on.
    ScriptedDecider d;
    d.errorAnswers = {Decision::Skip};
    t.file("small", "s");
    const JobResult r = copy(d, {t / "big", t / "small"}, small.path());
    EXPECT_EQ(r.outcome, Outcome::Failed);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].path, small.path() + "/big");
    EXPECT_FALSE(fs::exists(small.path() + "/big"));
    EXPECT_EQ(t.read("small"), "s");
    EXPECT_TRUE(fs::exists(small.path() + "/small"));
}

// The files of a fresh folder that find no room are asked about one by one after their first
// try; what arrived is whole, nothing half-made stays.
TEST(Copy, ManySmallFilesOntoAFullTargetArriveWholeOrAreReported) {
    TinyTmpfs small("256k");
    if (!small.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    TempDir t;
    t.dir("src/many");
    for (int i = 0; i < 40; ++i)
        t.file("src/many/f" + std::to_string(i), std::string(20000, char('a' + i % 26)));
    ScriptedDecider d;
    d.errorAnswers = {Decision::SkipAll};
    const JobResult r = copy(d, {t / "src/many"}, small.path());
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(d.errors.size(), 1u) << "Skip all holds for the rest";
    std::size_t arrived = 0;
    for (int i = 0; i < 40; ++i) {
        const std::string f = small.path() + "/many/f" + std::to_string(i);
        if (!fs::exists(f)) continue;
        ++arrived;
        EXPECT_EQ(fs::file_size(f), 20000u) << f;
    }
    EXPECT_GT(arrived, 0u);
    EXPECT_EQ(arrived + r.failures.size(), 40u);
    EXPECT_TRUE(temporariesIn(small.path()).empty());
}
