// Search: text with and without case in the viewed encoding, hex bytes, back and forth,
// and matches that lie across the edge between two chunks.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "view_files.h"
#include "viewers/view/view_search.h"

namespace kv::view {
namespace {

struct Found {
    SearchResult::Outcome outcome;
    std::uint64_t offset;
};

Found run(const std::string& path, SearchRequest r, std::size_t chunk) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string error;
    auto p = SearchPattern::compile(r, &error);
    EXPECT_TRUE(p) << error;
    SearchProgress progress;
    struct stat st {};
    ::fstat(fd, &st);
    const SearchResult res = searchFile(fd, static_cast<std::uint64_t>(st.st_size), *p, r, progress, chunk);
    ::close(fd);
    return {res.outcome, res.offset};
}

struct SearchCase {
    const char* name;
    SearchRequest request;
    std::int64_t expected;  // -1: not found
};

TEST(ViewSearch, FindsAcrossChunkEdgesBothWays) {
    // Chunks of 64 bytes; matches placed across the edges at 64 and 128.
    std::string text(256, '.');
    text.replace(61, 6, "Needle");            // 61..66: across 64
    text.replace(126, 6, "needle");           // 126..131: across 128
    text.replace(200, 4, "\xDE\xAD\xBE\xEF");
    kv::test::TempDir dir;
    const std::string path = dir.file("t", text);
    const SearchCase cases[] = {
        {"exact case", {.text = "needle", .matchCase = true}, 126},
        {"any case", {.text = "NEEDLE"}, 61},
        {"from after the first", {.text = "needle", .from = 62}, 126},
        {"backward from the end", {.text = "needle", .backward = true, .from = 256}, 126},
        {"backward before the second", {.text = "needle", .backward = true, .from = 126}, 61},
        {"backward, nothing before", {.text = "needle", .backward = true, .from = 61}, -1},
        {"hex", {.text = "de ad BEEF", .hex = true}, 200},
        {"hex backward", {.text = "2E4E", .hex = true, .backward = true, .from = 256}, 60},
        {"absent", {.text = "needles"}, -1},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::size_t chunk : {64u, 4096u}) {
            const Found f = run(path, c.request, chunk);
            if (c.expected < 0) {
                EXPECT_EQ(f.outcome, SearchResult::Outcome::NotFound);
            } else {
                EXPECT_EQ(f.outcome, SearchResult::Outcome::Found);
                EXPECT_EQ(f.offset, static_cast<std::uint64_t>(c.expected)) << "chunk " << chunk;
            }
        }
    }
}

// Text is looked for as the file spells it: in its code page, in UTF-16 on whole units,
// with the other case of Cyrillic letters too.
TEST(ViewSearch, TextInTheViewedEncoding) {
    kv::test::TempDir dir;
    const std::string cp1251 = dir.file("a", "...\xCF\xF0\xE8\xE2\xE5\xF2...");  // "Привет"
    EXPECT_EQ(run(cp1251, {.text = "привет", .encoding = Encoding::Cp1251}, 4).offset, 3u);
    EXPECT_EQ(run(cp1251, {.text = "привет", .matchCase = true, .encoding = Encoding::Cp1251}, 4).outcome,
              SearchResult::Outcome::NotFound);
    const std::string utf8 = dir.file("b", "xx ПРИВЕТ");
    EXPECT_EQ(run(utf8, {.text = "привет"}, 5).offset, 3u);
    // "a\0b\0" with the BOM: the bytes "\0b" at an odd place are no match for "b".
    const std::string utf16 = dir.file("c", std::string("\xFF\xFE" "a\0" "B\0" "\0b" "b\0", 10));
    const Found f = run(utf16, {.text = "b", .encoding = Encoding::Utf16Le, .from = 5, .unitStart = 0}, 3);
    EXPECT_EQ(f.offset, 8u);
    std::string error;
    EXPECT_FALSE(SearchPattern::compile({.text = "€", .encoding = Encoding::Cp866}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(SearchPattern::compile({.text = "4D 5", .hex = true}, &error));
    EXPECT_FALSE(SearchPattern::compile({.text = "zz", .hex = true}, &error));
    EXPECT_FALSE(SearchPattern::compile({.text = ""}, &error));
}

// The worker runs apart from the caller, reports how far it got and stops when asked.
TEST(ViewSearch, WorkerFindsAndCancels) {
    kv::test::TempDir dir;
    const std::string path = dir / "big";
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 8; ++i) test::appendTo(path, block);
    test::appendTo(path, "the end");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const std::uint64_t size = (8u << 20) + 7;
    {
        SearchWorker w;
        ASSERT_TRUE(w.start(fd, size, {.text = "THE END"}, nullptr, 4096));
        while (!w.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const SearchResult r = w.result();
        EXPECT_EQ(r.outcome, SearchResult::Outcome::Found);
        EXPECT_EQ(r.offset, 8u << 20);
    }
    {
        SearchWorker w;
        ASSERT_TRUE(w.start(fd, size, {.text = "absent"}, nullptr, 16));  // tiny chunks: slow enough
        w.cancel();
        EXPECT_EQ(w.result().outcome, SearchResult::Outcome::Cancelled);
    }
    ::close(fd);  // the worker searched its own copy of the descriptor
}

}  // namespace
}  // namespace kv::view
