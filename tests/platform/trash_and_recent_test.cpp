// Emptying the Trash and clearing the recent-documents list.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/recent_docs.h"
#include "platform/trash_empty.h"
#include "support/temp_dir.h"

namespace kv::platform {
namespace {

namespace fs = std::filesystem;

bool emptyFolder(const std::string& p) { return fs::is_directory(p) && fs::is_empty(p); }

TEST(EmptyTrash, RemovesEveryEntryAndRecordButNothingALinkPointsTo) {
    test::TempDir tmp{"kvtrash"};
    const std::string outside = tmp.file("outside.txt", "keep me");
    tmp.dir("Trash/files/folder/deeper");
    tmp.dir("Trash/info");
    tmp.dir("Trash/expunged/half");
    tmp.file("Trash/files/a.txt");
    tmp.file("Trash/files/folder/deeper/x");
    tmp.dir("Trash/files/folder/locked");
    tmp.file("Trash/files/folder/locked/inside");
    ::chmod((tmp / "Trash/files/folder/locked").c_str(), 0500);  // a read-only tree, trashed
    fs::create_symlink(outside, tmp / "Trash/files/link");
    fs::create_directory_symlink(tmp.path(), tmp / "Trash/files/dirlink");
    for (const char* r : {"a.txt", "folder", "link", "dirlink", "orphan"})
        tmp.file(std::string("Trash/info/") + r + ".trashinfo", "[Trash Info]\n");
    tmp.file("Trash/directorysizes", "1 2 folder\n");

    const TrashEmptyResult r = emptyTrash(tmp / "Trash");
    EXPECT_TRUE(r.ok()) << (r.failures.empty() ? "" : r.failures.front());
    EXPECT_EQ(r.removed, 4u);
    EXPECT_TRUE(emptyFolder(tmp / "Trash/files"));
    EXPECT_TRUE(emptyFolder(tmp / "Trash/info"));
    EXPECT_TRUE(emptyFolder(tmp / "Trash/expunged"));
    EXPECT_FALSE(fs::exists(tmp / "Trash/directorysizes"));
    EXPECT_EQ(tmp.read("outside.txt"), "keep me");
}

TEST(EmptyTrash, AMissingTrashIsEmptyAndAnEntryThatStaysKeepsItsRecord) {
    test::TempDir tmp{"kvtrash"};
    EXPECT_TRUE(emptyTrash(tmp / "none").ok());
    if (::geteuid() == 0) GTEST_SKIP() << "root may remove from a read-only folder";
    tmp.dir("Trash/files");
    tmp.dir("Trash/info");
    tmp.file("Trash/files/stuck");
    tmp.file("Trash/info/stuck.trashinfo");
    ::chmod((tmp / "Trash/files").c_str(), 0500);
    const TrashEmptyResult r = emptyTrash(tmp / "Trash");
    ::chmod((tmp / "Trash/files").c_str(), 0700);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_NE(r.failures[0].find("stuck"), std::string::npos) << r.failures[0];
    EXPECT_TRUE(fs::exists(tmp / "Trash/info/stuck.trashinfo"));
}

TEST(RecentDocs, ClearingLeavesAnEmptyValidListAndNoFileWhereThereWasNone) {
    test::TempDir tmp{"kvrecent"};
    const std::string file = tmp.file(
        "recently-used.xbel",
        "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\"><bookmark href=\"file:///secret\"/></xbel>\n");
    ASSERT_TRUE(clearRecentDocs(file).ok);
    const std::string text = tmp.read("recently-used.xbel");
    EXPECT_EQ(text.find("bookmark href"), std::string::npos);
    EXPECT_NE(text.find("<xbel version=\"1.0\""), std::string::npos);
    EXPECT_NE(text.find("</xbel>"), std::string::npos);
    EXPECT_TRUE(clearRecentDocs(tmp / "missing.xbel").ok);
    EXPECT_FALSE(fs::exists(tmp / "missing.xbel"));
}

}  // namespace
}  // namespace kv::platform
