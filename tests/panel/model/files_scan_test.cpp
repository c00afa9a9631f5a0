// Folder scanning and folder sizes, checked against du on the same trees.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "panel/model/files_scan.h"
#include "panel/model/mask.h"
#include "platform/dir_reader.h"
#include "temp_dir.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

std::int64_t commandNumber(const std::string& cmd) {
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return -1;
    long long v = -1;
    if (std::fscanf(p, "%lld", &v) != 1) v = -1;
    ::pclose(p);
    return v;
}

// du's apparent size of the tree without what its folders themselves count.
std::int64_t duFilesOnly(const std::string& dir) {
    const std::int64_t all = commandNumber("du -sb --apparent-size '" + dir + "' | cut -f1");
    const std::int64_t folders =
        commandNumber("find '" + dir + "' -type d -printf '%s\\n' | awk '{s+=$1} END {print s+0}'");
    return all - folders;
}

TEST(FolderSize, EqualsDuOnATreeWithLinksLoopsAndSparseFiles) {
    test::TempDir t("kv_scan");
    t.dir("a/b/c");
    t.dir("empty/e1/e2");
    t.file("top.bin", std::string(1000, 'x'));
    t.file("a/one.txt", "hello");
    t.file("a/b/two.txt", std::string(70000, 'y'));
    t.file("a/b/c/.hidden", "h");
    fs::create_symlink(t / "a", t / "link-to-a");           // counted as the link itself
    fs::create_symlink("..", t / "a/b/loop");               // a loop, never followed
    fs::create_symlink("nowhere", t / "a/broken");          // dangling
    fs::create_hard_link(t / "a/b/two.txt", t / "a/twin");  // one file, two names
    // A 5 GB sparse file: the total must not wrap at 32 bits.
    {
        const int fd = ::open((t / "a/b/c/huge.img").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 5LL * 1000 * 1000 * 1000), 0);
        ::close(fd);
    }
    {
        const int fd = ::open((t / "sparse-small").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_EQ(::ftruncate(fd, 123456), 0);
        ::close(fd);
    }
    TScanSizer sizer;
    const std::int64_t ours = sizer.Size(t.path());
    EXPECT_EQ(ours, duFilesOnly(t.path()));
    EXPECT_GT(ours, 5LL * 1000 * 1000 * 1000);
    EXPECT_EQ(TScanSizer().Size(t / "empty"), 0);
    EXPECT_EQ(TScanSizer().Size(t / "a/b"), duFilesOnly(t / "a/b"));
}

TEST(FolderSize, DeepTreesAndPseudoFiles) {
    // Deeper than the scanner keeps descriptors open for: it climbs back through "..".
    test::TempDir t("kv_deep");
    std::string rel;
    std::int64_t expected = 0;
    for (int level = 0; level < 150; ++level) {
        rel += (rel.empty() ? "" : "/") + std::string("d");
        t.dir(rel);
        t.file(rel + "/f", std::string(static_cast<std::size_t>(level + 1), 'z'));
        expected += level + 1;
        if (level % 10 == 0) {  // side branches, entered after coming back up
            t.dir(rel + "/side");
            t.file(rel + "/side/s", "12");
            expected += 2;
        }
    }
    EXPECT_EQ(TScanSizer().Size(t.path()), expected);
    // The kernel's own files (here /proc's) never add their sizes.
    EXPECT_EQ(TScanSizer().Size("/proc/self/fdinfo"), 0);
    EXPECT_EQ(TScanSizer().Size(t / "no-such-folder"), 0);
}

TEST(FilesScanner, CollectsMatchesInTheChosenOrder) {
    test::TempDir t("kv_find");
    t.dir("sub/deeper");
    t.file("b.txt", "22");
    t.file("A.TXT", "1");
    t.file("c.doc", "333");
    t.file("sub/z.txt", "4444");
    t.file("sub/deeper/m.Txt", "55555");
    t.dir("folder.txt");

    TFilesScanner s;
    s.ScanOptions = TScanOptions::soSpecifiedDir;
    s.ScanDir = t.path();
    s.FileMask = "*.txt";
    s.setSorted(TSortOptions::soBySize);
    std::vector<std::string> dirsSeen;
    s.OnProcess = [&](const std::string& dir, std::int64_t, std::int64_t) { dirsSeen.push_back(dir); };
    s.Execute();
    std::vector<std::string> got;
    for (const auto& f : s.List()) got.push_back(f.Path.substr(t.path().size()) + f.Name);
    EXPECT_EQ(got, (std::vector<std::string>{"/sub/deeper/m.Txt", "/sub/z.txt", "/b.txt", "/A.TXT",
                                             "/folder.txt"}));
    EXPECT_EQ(s.FilesCount(), 5);
    EXPECT_EQ(s.FilesSize(), 12);
    EXPECT_EQ(dirsSeen.size(), 4u);
    EXPECT_TRUE(s.List()[4].Attr & platform::faDirectory);

    s.setSorted(TSortOptions::soByName);
    got.clear();
    for (const auto& f : s.List()) got.push_back(f.Name);
    EXPECT_EQ(got, (std::vector<std::string>{"A.TXT", "b.txt", "folder.txt", "m.Txt", "z.txt"}));

    // Not recursive: the top folder only; a second run starts afresh.
    s.Recursive = false;
    s.Execute();
    EXPECT_EQ(s.List().size(), 3u);
    EXPECT_EQ(s.FilesCount(), 3);

    s.FileMask = "*.txt, [oops";
    EXPECT_THROW(s.Execute(), EMaskError);
}

TEST(FilesScanner, StopEndsTheScanEarly) {
    test::TempDir t("kv_stop");
    for (int i = 0; i < 50; ++i) {
        t.dir("d" + std::to_string(i));
        t.file("d" + std::to_string(i) + "/f", "x");
    }
    TFilesScanner s;
    s.ScanOptions = TScanOptions::soSpecifiedDir;
    s.ScanDir = t.path();
    int folders = 0;
    s.OnProcess = [&](const std::string&, std::int64_t, std::int64_t) {
        if (++folders == 5) s.Stop();
    };
    std::int64_t reported = -1;
    s.OnChanged = [&](std::int64_t, std::int64_t size) { reported = size; };
    s.Execute();
    EXPECT_EQ(folders, 5);
    EXPECT_LT(s.FilesSize(), 50);
    EXPECT_EQ(reported, s.FilesSize());
}

}  // namespace
}  // namespace kv
