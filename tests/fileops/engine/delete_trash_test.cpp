// Delete for good and into the freedesktop.org Trash.
#include <regex>

#include "engine_fixture.h"
#include "fileops/engine/delete_job.h"
#include "fileops/engine/trash.h"

using namespace kvtest;
using kv::test::TempDir;

namespace {
JobResult removeAll(Decider& d, std::vector<std::string> sources, bool toTrash,
                    const std::string& homeTrash) {
    DeleteJob job({std::move(sources), toTrash}, Trash(homeTrash));
    Progress p;
    return job.run(d, p);
}

std::string infoText(const std::string& trash, const std::string& name) {
    std::ifstream in(trash + "/info/" + name + ".trashinfo");
    return std::string(std::istreambuf_iterator<char>(in), {});
}
}  // namespace

TEST(Delete, RemovesFoldersWithTheirContentsAndLinksAsLinks) {
    TempDir t;
    t.dir("keep");
    t.file("keep/precious", "p");
    t.dir("tree/a/b");
    t.file("tree/a/b/f", "f");
    ::symlink((t / "keep").c_str(), (t / "tree/link-to-keep").c_str());
    ::symlink((t / "keep").c_str(), (t / "top-link").c_str());
    ScriptedDecider d;
    const JobResult r = removeAll(d, {t / "tree", t / "top-link"}, false, t / "trash");
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_FALSE(fs::exists(fs::symlink_status(t / "tree")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(t / "top-link")));
    EXPECT_EQ(t.read("keep/precious"), "p") << "a link's target is never deleted";
    EXPECT_FALSE(fs::exists(t / "trash"));
}

TEST(Delete, AMissingEntryIsAFailureAndTheOthersStillGo) {
    TempDir t;
    t.file("a", "a");
    ScriptedDecider d;
    const JobResult r = removeAll(d, {t / "gone", t / "a"}, false, t / "trash");
    EXPECT_EQ(r.outcome, Outcome::Failed);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].path, t / "gone");
    EXPECT_FALSE(fs::exists(t / "a"));
}

TEST(Trash, WritesTheFileAndAValidInfoThatRestores) {
    TempDir t;
    const std::string trash = t / "home/Trash";
    t.dir("work/folder");
    t.file("work/folder/inner", "inner");
    t.file("work/odd name %;.txt", "odd");
    t.dir("other");
    t.file("other/odd name %;.txt", "second");
    ScriptedDecider d;
    const JobResult r = removeAll(
        d, {t / "work/odd name %;.txt", t / "work/folder", t / "other/odd name %;.txt"}, true, trash);
    ASSERT_EQ(r.outcome, Outcome::Done);
    EXPECT_FALSE(fs::exists(t / "work/folder"));
    EXPECT_EQ(t.read("home/Trash/files/odd name %;.txt"), "odd");
    EXPECT_EQ(t.read("home/Trash/files/folder/inner"), "inner");
    // The second file of the same name gets the next free name.
    EXPECT_EQ(t.read("home/Trash/files/odd name %;.txt.2"), "second");

    const std::string info = infoText(trash, "odd name %;.txt");
    const std::regex shape(
        "\\[Trash Info\\]\nPath=(/[^\n]*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(info, m, shape)) << info;
    EXPECT_EQ(m[1].str().find(' '), std::string::npos) << "the path is percent-escaped";
    EXPECT_NE(m[1].str().find("odd%20name%20%25%3B.txt"), std::string::npos) << m[1].str();
    EXPECT_EQ(Trash::originalPath(trash, "odd name %;.txt"), t / "work/odd name %;.txt");

    int err = 0;
    ASSERT_TRUE(Trash::restore(trash, "odd name %;.txt", err));
    ASSERT_TRUE(Trash::restore(trash, "folder", err));
    EXPECT_EQ(t.read("work/odd name %;.txt"), "odd");
    EXPECT_EQ(t.read("work/folder/inner"), "inner");
    EXPECT_FALSE(fs::exists(trash + "/info/folder.trashinfo"));
    // Restoring onto an existing file refuses instead of replacing it.
    t.file("other/odd name %;.txt", "new one");
    EXPECT_FALSE(Trash::restore(trash, "odd name %;.txt.2", err));
    EXPECT_EQ(err, EEXIST);
    EXPECT_EQ(t.read("other/odd name %;.txt"), "new one");
}

TEST(Trash, FilesOnAnotherMountGoToThatMountsOwnTrash) {
    TinyTmpfs other("8m");
    if (!other.ok()) GTEST_SKIP() << "needs root to mount a tmpfs";
    TempDir t;
    const std::string stick = other.path();
    fs::create_directories(stick + "/docs");
    std::ofstream(stick + "/docs/letter.txt") << "letter";
    ScriptedDecider d;
    ASSERT_EQ(removeAll(d, {stick + "/docs/letter.txt"}, true, t / "home/Trash").outcome, Outcome::Done);
    const std::string own = stick + "/.Trash-" + std::to_string(::getuid());
    EXPECT_TRUE(fs::exists(own + "/files/letter.txt"));
    EXPECT_FALSE(fs::exists(t / "home/Trash/files/letter.txt")) << "never copied across to the home trash";
    // Relative to the mount, so the medium can be mounted elsewhere.
    EXPECT_NE(infoText(own, "letter.txt").find("\nPath=docs/letter.txt\n"), std::string::npos);
    int err = 0;
    ASSERT_TRUE(Trash::restore(own, "letter.txt", err));
    EXPECT_TRUE(fs::exists(stick + "/docs/letter.txt"));
}

TEST(Trash, AFailedTrashAsksAndNeverDeletesForGood) {
    TempDir t;
    t.file("a", "a");
    t.file("blocker", "not a folder");  // the trash cannot be made below a file
    ScriptedDecider d;
    d.errorAnswers = {Decision::Skip};
    const JobResult r = removeAll(d, {t / "a"}, true, t / "blocker/Trash");
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_EQ(d.errors.size(), 1u);
    EXPECT_EQ(t.read("a"), "a");
}
