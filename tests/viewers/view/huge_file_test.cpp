// A 4 GB file (sparse: one hole with text at its end) opens, shows its end and is searched
// without the memory of the test growing with it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "view_files.h"
#include "viewers/view/view_search.h"

namespace kv::view {
namespace {

TEST(ViewHugeFile, FourGigabytesOpenAtBothEndsAndAreSearched) {
    kv::test::TempDir dir;
    const std::string path = dir / "huge";
    const std::uint64_t size = 4ull << 30;
    const std::string tail = "\nfirst line of text\nthe needle is here\nlast line\n";
    test::makeSparseWithTail(path, size, tail);

    ViewDocument d;
    ASSERT_TRUE(d.open(path, nullptr));
    ASSERT_EQ(d.size(), size);
    EXPECT_EQ(d.mode(), ViewMode::Hex);  // it starts with NUL bytes
    d.setPageSize(80, 20);
    d.end();
    auto rows = d.page();
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(rows.back().end, size);
    EXPECT_EQ(rows.front().text.substr(0, 10), "FFFFFEC0: ");
    d.home();
    EXPECT_EQ(d.page().front().offset, 0u);

    d.setMode(ViewMode::Text);
    d.end();
    rows = d.page();
    EXPECT_EQ(rows.back().text, "last line");
    EXPECT_EQ(rows[rows.size() - 2].text, "the needle is here");

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    SearchRequest r{.text = "NEEDLE"};
    auto pattern = SearchPattern::compile(r, nullptr);
    ASSERT_TRUE(pattern);
    SearchProgress progress;
    const SearchResult found = searchFile(fd, size, *pattern, r, progress);
    EXPECT_EQ(found.outcome, SearchResult::Outcome::Found);
    EXPECT_EQ(found.offset, size - tail.size() + tail.find("needle"));
    // Back from the end as well (this one reads through the hole's last chunks only).
    r.backward = true;
    r.from = size;
    EXPECT_EQ(searchFile(fd, size, *pattern, r, progress).offset, found.offset);
    ::close(fd);

    d.gotoOffset(found.offset);
    EXPECT_EQ(d.page().front().text, "the needle is here");

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "peak resident set in KiB";
}

}  // namespace
}  // namespace kv::view
