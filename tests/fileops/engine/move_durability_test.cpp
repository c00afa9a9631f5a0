// A move across file systems: the copies reach the disk before the first source goes, a source
// that changes while it is read stays, and a move stopped and run again leaves every folder
// with its source's mode. Copy or move onto a link to the same file replaces the link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engine_fixture.h"
#include "fileops/engine/fs_calls.h"
#include "fileops/engine/transfer_job.h"

using namespace kvtest;
using kv::test::TempDir;

namespace {

// The real calls, each written down in order ("sync", "unlink <path>", "rmdir <path>").
class RecordingCalls : public FsCalls {
public:
    std::vector<std::string> calls;
    // Appended to the source the first time data is read from any file.
    std::string growFile;

    ssize_t copyRange(int in, int out, std::size_t n) override {
        grow();
        return FsCalls::copyRange(in, out, n);
    }
    ssize_t readSome(int fd, void* buffer, std::size_t n) override {
        grow();
        return FsCalls::readSome(fd, buffer, n);
    }
    int syncFileSystem(int fd) override {
        calls.push_back("sync");
        return FsCalls::syncFileSystem(fd);
    }
    int unlinkFile(const std::string& path) override {
        calls.push_back("unlink " + path);
        return FsCalls::unlinkFile(path);
    }
    int removeFolder(const std::string& path) override {
        calls.push_back("rmdir " + path);
        return FsCalls::removeFolder(path);
    }

private:
    void grow() {
        if (growFile.empty()) return;
        const int fd = ::open(growFile.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "more", 4), 4);
        ::close(fd);
        growFile.clear();
    }
};

JobResult transfer(Decider& d, FsCalls& calls, std::vector<std::string> sources, const std::string& target,
                   bool move, bool noConfirm = false) {
    TransferRequest r;
    r.sources = std::move(sources);
    r.target = target;
    r.move = move;
    r.noConfirm = noConfirm;
    TransferJob job(r, calls);
    Progress p;
    return job.run(d, p);
}

std::string readFile(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t modeOf(const std::string& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(MoveAcrossFileSystems, TheCopiesAreFlushedOnceBeforeAnySourceIsRemovedFilesBeforeFolders) {
    TinyTmpfs other("64m");
    if (!other.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    TempDir t;
    t.dir("src/sub");
    for (const char* f : {"src/a", "src/b", "src/sub/c"}) t.file(f, f);
    t.file("loose", "loose");
    RecordingCalls calls;
    ScriptedDecider d;
    const JobResult r = transfer(d, calls, {t / "src", t / "loose"}, other.path(), true);
    EXPECT_EQ(r.outcome, Outcome::Done);
    ASSERT_FALSE(calls.calls.empty());
    EXPECT_EQ(calls.calls.front(), "sync") << "nothing is removed before the copies are on disk";
    EXPECT_EQ(std::count(calls.calls.begin(), calls.calls.end(), "sync"), 1) << "one flush, not one per file";
    const auto at = [&](const std::string& c) {
        return std::find(calls.calls.begin(), calls.calls.end(), c) - calls.calls.begin();
    };
    EXPECT_LT(at("unlink " + t / "src/sub/c"), at("rmdir " + t / "src/sub"));
    EXPECT_LT(at("rmdir " + t / "src/sub"), at("rmdir " + t / "src"));
    EXPECT_LT(at("rmdir " + t / "src"), static_cast<long>(calls.calls.size()));
    EXPECT_LT(at("unlink " + t / "loose"), static_cast<long>(calls.calls.size()));
    EXPECT_FALSE(fs::exists(t / "src"));
    EXPECT_EQ(readFile(other.path() + "/src/sub/c"), "src/sub/c");
}

TEST(MoveAcrossFileSystems, ASourceThatChangesWhileItIsCopiedIsKeptAndReported) {
    TinyTmpfs other("64m");
    if (!other.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    for (const std::size_t size : {std::size_t{5}, std::size_t{3} << 20}) {
        SCOPED_TRACE(size);
        TempDir t;
        const std::string content(size, 'm');
        const std::string src = t.file("moving", content);
        RecordingCalls calls;
        calls.growFile = src;
        ScriptedDecider d;
        d.errorAnswers = {Decision::Skip};
        const JobResult r = transfer(d, calls, {src}, other.path(), true);
        EXPECT_EQ(r.outcome, Outcome::Failed);
        ASSERT_EQ(d.errors.size(), 1u);
        EXPECT_EQ(d.errors[0].path, src);
        EXPECT_NE(d.errors[0].reason().find("changed"), std::string::npos) << d.errors[0].reason();
        EXPECT_EQ(readFile(src), content + "more") << "the source stays, with what was added to it";
        EXPECT_FALSE(fs::exists(other.path() + "/moving")) << "no copy of a file that was still changing";
        EXPECT_TRUE(temporariesIn(other.path()).empty());
        fs::remove(other.path() + "/moving");
    }
}

// A move stopped after its folders were made (private while they fill) and run again: the
// second run merges into them and must give each the mode of its source.
TEST(Move, AMoveRunAgainGivesItsFoldersTheirSourcesMode) {
    TinyTmpfs other("64m");
    for (const bool acrossFileSystems : {false, true}) {
        SCOPED_TRACE(acrossFileSystems ? "across file systems" : "on one file system");
        if (acrossFileSystems && !other.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
        TempDir t;
        t.dir("src/tree/inner");
        t.file("src/tree/a", "a");
        t.file("src/tree/inner/b", "b");
        ::chmod((t / "src/tree/inner").c_str(), 0751);
        ::chmod((t / "src/tree").c_str(), 0755);
        const std::string target = acrossFileSystems ? other.path() : t.dir("dst");
        // What the stopped run left: the folders, owner-only, and one file of them.
        fs::create_directories(target + "/tree/inner");
        ::chmod((target + "/tree/inner").c_str(), 0700);
        ::chmod((target + "/tree").c_str(), 0700);
        std::ofstream(target + "/tree/a") << "a";
        RecordingCalls calls;
        ScriptedDecider d;
        const JobResult r = transfer(d, calls, {t / "src/tree"}, target, true, true);
        EXPECT_EQ(r.outcome, Outcome::Done);
        EXPECT_EQ(modeOf(target + "/tree"), 0755u);
        EXPECT_EQ(modeOf(target + "/tree/inner"), 0751u);
        EXPECT_EQ(readFile(target + "/tree/inner/b"), "b");
        EXPECT_FALSE(fs::exists(t / "src/tree"));
        fs::remove_all(target + "/tree");
    }
}

// A link in the target that points at the source file is not the file itself: copying or
// moving there is a conflict, and Overwrite replaces the link, never the file it points to.
TEST(Transfer, OntoALinkToTheSameFileAsksAndReplacesTheLink) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        TempDir t;
        t.dir("src");
        t.dir("dst");
        const std::string src = t.file("src/data.txt", "the data");
        ::symlink(src.c_str(), (t / "dst/data.txt").c_str());
        ScriptedDecider d;
        d.conflictAnswers = {Decision::Overwrite};
        const JobResult r = transfer(d, FsCalls::system(), {src}, t / "dst", move);
        EXPECT_EQ(r.outcome, Outcome::Done);
        ASSERT_EQ(d.conflicts.size(), 1u);
        EXPECT_EQ(d.conflicts[0].target.path, t / "dst/data.txt");
        EXPECT_FALSE(fs::is_symlink(t / "dst/data.txt"));
        EXPECT_EQ(readFile(t / "dst/data.txt"), "the data");
        EXPECT_EQ(readFile(src), move ? "" : "the data") << "a copy leaves the file it found the link on";
        EXPECT_EQ(fs::exists(src), !move);
    }
}
