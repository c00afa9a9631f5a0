#include "search/engine/find_engine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <set>
#include <thread>

#include "search/engine/duplicates.h"
#include "support/temp_dir.h"

namespace kv::search {
namespace {

using test::TempDir;

// The results' paths relative to the start folder, sorted.
std::set<std::string> names(const std::vector<TFindResult>& rs, const std::string& root) {
    std::set<std::string> out;
    for (const auto& r : rs) out.insert(r.path.substr(root.size() + 1));
    return out;
}

std::set<std::string> find(const TempDir& t, TFindQuery q) {
    q.startDir = t.path();
    return names(findAll(q), t.path());
}

void setMtime(const std::string& path, std::int64_t t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

int run(const std::string& cmd) { return std::system(cmd.c_str()); }

TEST(FindEngine, MasksSeparatedByCommaMatchNamesAtEveryDepth) {
    TempDir t;
    t.dir("sub/deeper");
    for (const char* f : {"a.txt", "B.TXT", "c.doc", "sub/d.txt", "sub/deeper/e.log", "sub/deeper/f.logx"})
        t.file(f);
    struct Case {
        std::string masks;
        std::set<std::string> want;
    } cases[] = {
        {"*.txt", {"a.txt", "B.TXT", "sub/d.txt"}},
        {"*.txt, *.log", {"a.txt", "B.TXT", "sub/d.txt", "sub/deeper/e.log"}},
        {"?.doc,sub", {"c.doc", "sub"}},
        {"[a-c].*", {"a.txt", "B.TXT", "c.doc"}},
    };
    for (const auto& c : cases) {
        TFindQuery q;
        q.masks = c.masks;
        EXPECT_EQ(find(t, q), c.want) << c.masks;
    }
}

TEST(FindEngine, TextInUtf8AndCyrillicCodePagesWithAndWithoutCase) {
    TempDir t;
    t.file("utf8.txt", "один ПРИВЕТ мир");
    t.file("cp1251.txt", "\xcf\xf0\xe8\xe2\xe5\xf2 world");         // "Привет"
    t.file("cp866.txt", "\x8f\xe0\xa8\xa2\xa5\xe2!");               // "Привет"
    t.file("other.txt", "nothing here, \xd0\x9f\xd1\x80\xd0\xb8");  // a cut "При" only
    // A text cut across the block boundary of the reader.
    std::string big(256 * 1024 - 3, 'x');
    t.file("big.bin", big + "needle" + std::string(1000, 'y'));
    struct Case {
        std::string text;
        bool ignoreCase;
        std::set<std::string> want;
    } cases[] = {
        {"привет", true, {"utf8.txt", "cp1251.txt", "cp866.txt"}},
        {"Привет", false, {"cp1251.txt", "cp866.txt"}},
        {"ПРИВЕТ", false, {"utf8.txt"}},
        {"WORLD", true, {"cp1251.txt"}},
        {"WORLD", false, {}},
        {"needle", false, {"big.bin"}},
        {"NEEDLE", true, {"big.bin"}},
    };
    for (const auto& c : cases) {
        TFindQuery q;
        q.text = c.text;
        q.ignoreCase = c.ignoreCase;
        EXPECT_EQ(find(t, q), c.want) << c.text << " ignoreCase=" << c.ignoreCase;
    }
}

TEST(FindEngine, SizeAndDateLimitsIncludeTheirEnds) {
    TempDir t;
    setMtime(t.file("small", std::string(10, 'a')), 1'000'000);
    setMtime(t.file("mid", std::string(100, 'a')), 2'000'000);
    setMtime(t.file("large", std::string(1000, 'a')), 3'000'000);
    struct Case {
        std::int64_t minSize, maxSize, from, to;
        std::set<std::string> want;
    } cases[] = {
        {100, -1, INT64_MIN, INT64_MAX, {"mid", "large"}}, {-1, 100, INT64_MIN, INT64_MAX, {"small", "mid"}},
        {11, 999, INT64_MIN, INT64_MAX, {"mid"}},          {-1, -1, 2'000'000, INT64_MAX, {"mid", "large"}},
        {-1, -1, 1'000'001, 2'999'999, {"mid"}},           {50, -1, INT64_MIN, 2'000'000, {"mid"}},
    };
    for (const auto& c : cases) {
        TFindQuery q;
        q.minSize = c.minSize;
        q.maxSize = c.maxSize;
        q.fromTime = c.from;
        q.toTime = c.to;
        EXPECT_EQ(find(t, q), c.want) << c.minSize << ".." << c.maxSize << " " << c.from << ".." << c.to;
        // Without sizes wanted, limits still need them: the same files, with true sizes.
        q.withSizes = false;
        q.startDir = t.path();
        for (const TFindResult& r : findAll(q)) {
            EXPECT_EQ(r.size, std::int64_t(r.path.ends_with("small") ? 10 : r.path.ends_with("mid") ? 100 : 1000));
            EXPECT_GT(r.mtime, 0);
        }
    }
    // Names alone and no limits: nothing is looked up, and the result says so.
    TFindQuery q;
    q.startDir = t.path();
    q.withSizes = false;
    const auto all = findAll(q);
    ASSERT_EQ(all.size(), 3u);
    for (const TFindResult& r : all) EXPECT_EQ(r.size, -1) << r.path;
    q.withSizes = true;
    for (const TFindResult& r : findAll(q)) EXPECT_GT(r.size, 0) << r.path;
}

TEST(FindEngine, NamesAndTextInsideZipAndTar) {
    TempDir t;
    TempDir src;
    src.dir("docs");
    src.file("docs/report.txt", std::string(100000, '.') + "Квартальный отчёт");
    src.file("docs/notes.txt", "nothing");
    src.file("image.bin", "\x01\x02");
    ASSERT_EQ(run("cd '" + src.path() + "' && zip -qr '" + t.path() + "/a.zip' docs image.bin"), 0);
    ASSERT_EQ(run("cd '" + src.path() + "' && tar -cf '" + t.path() + "/b.tar' docs image.bin"), 0);

    TFindQuery q;
    q.masks = "*.txt";
    EXPECT_EQ(find(t, q), std::set<std::string>{}) << "archives are not looked into unless asked";
    q.inArchives = true;
    EXPECT_EQ(find(t, q), (std::set<std::string>{"a.zip/docs/report.txt", "a.zip/docs/notes.txt",
                                                 "b.tar/docs/report.txt", "b.tar/docs/notes.txt"}));
    q.text = "КВАРТАЛЬНЫЙ";
    q.ignoreCase = true;
    q.startDir = t.path();
    const auto rs = findAll(q);
    EXPECT_EQ(names(rs, t.path()), (std::set<std::string>{"a.zip/docs/report.txt", "b.tar/docs/report.txt"}));
    for (const auto& r : rs) {
        EXPECT_EQ(r.inner, "docs/report.txt");
        EXPECT_TRUE(r.archive == t / "a.zip" || r.archive == t / "b.tar") << r.archive;
        EXPECT_EQ(r.size, 100000 + static_cast<std::int64_t>(std::string("Квартальный отчёт").size()));
    }
    // Past the cap on decoded bytes the text is not seen.
    q.entryTextCap = 1000;
    EXPECT_EQ(find(t, q), std::set<std::string>{});
}

TEST(FindEngine, LinksAreMatchedButNotFollowedUnlessAsked) {
    TempDir t, other;
    other.file("inside.txt");
    t.file("here.txt", "x");
    ASSERT_EQ(::symlink(other.path().c_str(), (t / "linked").c_str()), 0);
    ASSERT_EQ(::symlink((other / "inside.txt").c_str(), (t / "file-link.txt").c_str()), 0);
    TFindQuery q;
    EXPECT_EQ(find(t, q), (std::set<std::string>{"here.txt", "linked", "file-link.txt"}));
    q.text = "x";
    EXPECT_EQ(find(t, q), std::set<std::string>{"here.txt"}) << "a link's target is not read";
    q.text.clear();
    q.followLinks = true;
    EXPECT_EQ(find(t, q),
              (std::set<std::string>{"here.txt", "linked", "linked/inside.txt", "file-link.txt"}));
}

TEST(FindEngine, LinkLoopWithFollowingEndsAndListsEachFileOnce) {
    TempDir t;
    t.dir("a/b");
    t.file("a/b/f.txt");
    ASSERT_EQ(::symlink("../..", (t / "a/b/up").c_str()), 0);
    ASSERT_EQ(::symlink(".", (t / "self").c_str()), 0);
    TFindQuery q;
    q.masks = "*.txt";
    q.followLinks = true;
    auto done = std::async(std::launch::async, [&] { return find(t, q); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the loop was walked forever";
    EXPECT_EQ(done.get(), std::set<std::string>{"a/b/f.txt"});
}

TEST(FindEngine, FifoInTheTreeDoesNotBlockATextSearch) {
    TempDir t;
    t.file("a.txt", "word");
    ASSERT_EQ(::mkfifo((t / "pipe.txt").c_str(), 0600), 0);
    TFindQuery q;
    q.text = "word";
    q.startDir = t.path();
    auto p = std::make_shared<std::promise<std::set<std::string>>>();
    auto fut = p->get_future();
    std::thread([p, q, root = t.path()] { p->set_value(names(findAll(q), root)); }).detach();
    ASSERT_EQ(fut.wait_for(std::chrono::seconds(20)), std::future_status::ready) << "the fifo was opened";
    EXPECT_EQ(fut.get(), std::set<std::string>{"a.txt"});
    q.text.clear();  // by name the fifo is found like any entry
    EXPECT_EQ(find(t, q), (std::set<std::string>{"a.txt", "pipe.txt"}));
}

TEST(FindEngine, CancelStopsTheWalkPromptly) {
    TempDir t;
    for (int d = 0; d < 20; ++d) {
        t.dir("d" + std::to_string(d));
        for (int i = 0; i < 300; ++i) t.file("d" + std::to_string(d) + "/f" + std::to_string(i));
    }
    TFindQuery q;
    q.startDir = t.path();
    TFindEngine e(q);
    std::atomic<bool> cancel{false};
    TFindCounts counts;
    std::size_t got = 0;
    ASSERT_TRUE(e.run(cancel, counts, [&](std::vector<TFindResult>&& b) {
        got += b.size();
        cancel = true;
    }));
    EXPECT_GT(got, 0u);
    EXPECT_LT(got, 2000u) << "the walk went on after cancel";
    EXPECT_EQ(counts.matched.load(), got);
}

TEST(FindDuplicates, GroupsExactlyEqualFilesBiggestFirst) {
    TempDir t;
    t.dir("x");
    const std::string big(200 * 1024, 'q');
    t.file("a", "hello");
    t.file("x/b", "hello");
    t.file("c", "hellp");  // same size, other content
    t.file("d", big);
    t.file("x/e", big);
    t.file("f", big.substr(0, big.size() - 1) + "z");  // the same first block, another end
    t.file("empty1", "");
    t.file("empty2", "");
    t.dir("y");
    TFindQuery q;
    q.startDir = t.path();
    const auto rs = findAll(q);
    std::atomic<bool> cancel{false};
    const auto groups = findDuplicates(rs, cancel);
    std::vector<std::set<std::string>> got;
    for (const auto& g : groups) got.push_back(names(g, t.path()));
    EXPECT_EQ(got, (std::vector<std::set<std::string>>{{"d", "x/e"}, {"a", "x/b"}}));
}

}  // namespace
}  // namespace kv::search
