// The folder compare: which entries each side gets selected, by name, size, time and bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fileops/compare/folder_compare.h"
#include "platform/file_contents.h"
#include "support/temp_dir.h"

namespace {

using kv::fileops::compareFolders;
using kv::fileops::CompareItem;
using kv::fileops::CompareOptions;

CompareItem file(const std::string& name, std::int64_t size, std::int64_t mtime) {
    return CompareItem{name, size, mtime, false, true};
}
CompareItem folder(const std::string& name, std::int64_t mtime = 0) {
    return CompareItem{name, 0, mtime, true, false};
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

struct Case {
    const char* what;
    std::vector<CompareItem> left, right;
    std::vector<std::string> selLeft, selRight;
};

TEST(FolderCompare, SelectsOnEachSideWhatIsMissingOrNewerThere) {
    const std::int64_t t = 1'700'000'000;
    const std::vector<Case> cases = {
        {"missing right", {file("a", 1, t)}, {}, {"a"}, {}},
        {"missing left", {}, {file("a", 1, t)}, {}, {"a"}},
        {"newer left", {file("a", 1, t + 60)}, {file("a", 1, t)}, {"a"}, {}},
        {"newer right", {file("a", 5, t)}, {file("a", 9, t + 60)}, {}, {"a"}},
        {"same", {file("a", 1, t)}, {file("a", 1, t)}, {}, {}},
        {"FAT step counts as the same time", {file("a", 1, t + 1)}, {file("a", 1, t)}, {}, {}},
        {"two seconds is newer", {file("a", 1, t + 2)}, {file("a", 1, t)}, {"a"}, {}},
        {"size differs at the same time", {file("a", 1, t)}, {file("a", 2, t)}, {"a"}, {"a"}},
        {"names are case-sensitive", {file("A", 1, t)}, {file("a", 1, t)}, {"A"}, {"a"}},
        {"folders by presence only",
         {folder("d", t + 999), folder("l")},
         {folder("d", t), folder("r")},
         {"l"},
         {"r"}},
        {"file against folder selects neither", {file("x", 1, t)}, {folder("x")}, {}, {}},
        {"parent entries are never compared",
         {folder(".."), file("a", 1, t)},
         {folder(".."), file("a", 1, t)},
         {},
         {}},
    };
    for (const Case& c : cases) {
        const auto r = compareFolders(c.left, c.right, CompareOptions{});
        EXPECT_EQ(sorted(r.left), c.selLeft) << c.what;
        EXPECT_EQ(sorted(r.right), c.selRight) << c.what;
    }
}

TEST(FolderCompare, ContentsAreReadOnlyWhenAskedAndDecideBetweenEqualSizes) {
    kv::test::TempDir tmp("kv_cmp");
    std::filesystem::create_directories(tmp / "L");
    std::filesystem::create_directories(tmp / "R");
    // Equal size, different bytes far past the first block; equal bytes at other times.
    std::string big(600 * 1024, 'z'), other = big;
    other[550 * 1024] = 'y';
    tmp.file("L/diff", big);
    tmp.file("R/diff", other);
    tmp.file("L/same", big);
    tmp.file("R/same", big);
    const std::int64_t t = 1'700'000'000;
    const std::vector<CompareItem> left = {file("diff", big.size(), t), file("same", big.size(), t + 100)};
    const std::vector<CompareItem> right = {file("diff", big.size(), t), file("same", big.size(), t)};

    CompareOptions off;
    auto r = compareFolders(left, right, off);
    EXPECT_EQ(sorted(r.left), std::vector<std::string>{"same"}) << "by time alone";
    EXPECT_TRUE(r.right.empty());

    CompareOptions on;
    on.contents = true;
    on.leftDir = tmp / "L";
    on.rightDir = tmp / "R";
    r = compareFolders(left, right, on);
    EXPECT_EQ(sorted(r.left), std::vector<std::string>{"diff"});
    EXPECT_EQ(sorted(r.right), std::vector<std::string>{"diff"});
    EXPECT_EQ(r.same, 1) << "equal bytes are the same whatever the times";
    EXPECT_TRUE(r.errors.empty());

    // The progress sees the bytes of both equal-sized pairs and can stop after the first block.
    std::int64_t lastTotal = 0;
    int calls = 0;
    on.progress = [&](std::int64_t, std::int64_t total) {
        lastTotal = total;
        return ++calls < 2;
    };
    r = compareFolders(left, right, on);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(lastTotal, static_cast<std::int64_t>(4 * big.size()));
    on.progress = nullptr;

    // A file gone since the listing is reported and selected on neither side.
    std::filesystem::remove(tmp / "R/diff");
    r = compareFolders(left, right, on);
    EXPECT_TRUE(std::find(r.left.begin(), r.left.end(), "diff") == r.left.end());
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_NE(r.errors[0].find("diff"), std::string::npos);
}

TEST(FolderCompare, NeverOpensAFifoForContents) {
    kv::test::TempDir tmp("kv_cmp");
    std::filesystem::create_directories(tmp / "L");
    std::filesystem::create_directories(tmp / "R");
    ASSERT_EQ(::mkfifo((tmp / "L/p").c_str(), 0600), 0);
    tmp.file("R/p", "");
    std::string error;
    EXPECT_FALSE(kv::platform::sameFileContents(tmp / "L/p", tmp / "R/p", error)) << "no hang, no match";
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

}  // namespace
