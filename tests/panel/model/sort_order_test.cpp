// Listing order: the keys and the tie rule of the old bubble sort, at O(n log n).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "panel/model/directory.h"
#include "panel/model/key_sort.h"

namespace kv {
namespace {

using platform::DirItem;
using platform::faArchive;
using platform::faDirectory;
using platform::faHidden;

DirItem file(const std::string& name, std::int64_t size = 0, bool exec = false, int year = 2020,
             int minute = 0) {
    DirItem d;
    d.name = name;
    d.size = size;
    d.attr = faArchive | (name[0] == '.' ? faHidden : 0);
    d.executable = exec;
    d.written.Year = static_cast<std::uint16_t>(year);
    d.written.Month = 1;
    d.written.Day = 1;
    d.written.Minute = static_cast<std::uint16_t>(minute);
    d.created = d.written;
    return d;
}

DirItem folder(const std::string& name) {
    DirItem d = file(name);
    d.attr = faDirectory | (name[0] == '.' ? faHidden : 0);
    return d;
}

std::vector<std::string> names(const TDirectory& fl) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl.FilesCount(); ++i) out.push_back(fl.displayName(i));
    return out;
}

struct OrderCase {
    const char* what;
    std::uint8_t sort;
    bool programsFirst;
    std::vector<DirItem> arrival;
    std::vector<std::string> expected;  // after ".."
};

// Test lists show the case's description, not the bytes of the struct.
void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.what; }

class SortOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SortOrder, MatchesTheOldOrder) {
    const OrderCase& c = GetParam();
    TDirectory fl;
    fl.SortType = c.sort;
    fl.ProgramsFirst = c.programsFirst;
    auto items = c.arrival;
    fl.Build("/some/folder", std::move(items));
    std::vector<std::string> want{".."};
    want.insert(want.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(names(fl), want) << c.what;
}

const std::string k32(32, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, SortOrder,
    ::testing::Values(
        OrderCase{"by name, programs not first: a.bat and A.TXT tie on the name, BAT < TXT",
                  stName,
                  false,
                  {file("b.txt"), file("A.TXT"), file("a.bat"), file("z.exe")},
                  {"a.bat", "A.TXT", "b.txt", "z.exe"}},
        OrderCase{"by name, programs first",
                  stName,
                  true,
                  {file("b.txt"), file("A.TXT"), file("a.bat"), file("z.exe")},
                  {"a.bat", "z.exe", "A.TXT", "b.txt"}},
        OrderCase{"an execute bit makes a program too",
                  stName,
                  true,
                  {file("b.sh"), file("run", 10, true), file("a.txt")},
                  {"run", "a.txt", "b.sh"}},
        OrderCase{"by extension: no extension first among files, folders before all",
                  stExt,
                  false,
                  {file("b.txt"), file("readme"), folder("zdir"), file("a.c")},
                  {"zdir", "readme", "a.c", "b.txt"}},
        OrderCase{"by size: largest first, also past 32 bits, down to one byte apart; folders still first",
                  stSize,
                  false,
                  {file("small", 10), file("one", 1), file("huge", 5'000'000'000LL), folder("d"),
                   file("big", 3'000'000'000LL), file("two", 2), file("mid", 2'000'000'000LL),
                   file("gig", 1'500'000'000LL)},
                  {"d", "huge", "big", "mid", "gig", "small", "two", "one"}},
        OrderCase{"arrival order: folders first, then programs, then files as read",
                  stArrival,
                  true,
                  {file("c"), folder("y"), file("a"), folder("x"), file("b.exe")},
                  {"y", "x", "b.exe", "c", "a"}},
        OrderCase{
            "by date: newest first",
            stCreated,
            false,
            {file("old", 0, false, 1999), file("new", 0, false, 2024, 5), file("newer", 0, false, 2024, 6)},
            {"newer", "new", "old"}},
        OrderCase{"equal keys keep reverse arrival order (names equal in their first 32 characters)",
                  stName,
                  false,
                  {file(k32 + "1.txt"), file(k32 + "2.txt"), file(k32 + "3.txt")},
                  {k32 + "3.txt", k32 + "2.txt", k32 + "1.txt"}},
        OrderCase{"case folds for a to z only: Z before [ and _",
                  stName,
                  false,
                  {file("_b"), file("z"), file("B"), file("a"), file("[c")},
                  {"a", "B", "z", "[c", "_b"}},
        OrderCase{"a dot name has an empty name part and sorts by its extension",
                  stName,
                  false,
                  {file("b"), file(".profile"), file("a")},
                  {".profile", "a", "b"}}));

// The old bubble sort, kept here as the oracle the fast sort must equal.
struct Keyed {
    TDirEntry e;
    std::string SortKey;
};
std::vector<std::string> bubbleOrder(std::vector<Keyed> items) {
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (std::size_t i = 1; i < items.size(); ++i) {
            if (items[i - 1].SortKey > items[i].SortKey) {
                std::swap(items[i - 1], items[i]);
                swapped = true;
            }
        }
    }
    std::vector<std::string> out;
    for (const auto& k : items) out.push_back(k.e.FileName);
    return out;
}

TEST(SortOrder, EqualsTheBubbleSortOnManyTies) {
    std::mt19937 rng(7);
    const std::string longPrefix(31, 'q');
    for (std::uint8_t sort : {stArrival, stName, stExt, stSize, stCreated}) {
        std::vector<DirItem> arrival;
        for (int i = 0; i < 400; ++i) {
            // Few distinct keys, so most entries tie with others.
            std::string name = (rng() % 2 ? longPrefix : std::string()) + std::string(1, "abAB"[rng() % 4]) +
                               "#" + std::to_string(i);
            if (rng() % 3) name += std::string(".") + "tXt"[rng() % 3] + "x";
            DirItem d = rng() % 5 == 0 ? folder(name)
                                       : file(name, rng() % 3 * 1'000'000'000LL, rng() % 7 == 0,
                                              2000 + static_cast<int>(rng() % 2));
            arrival.push_back(d);
        }
        TDirectory fl;
        fl.SortType = sort;
        auto copy = arrival;
        fl.Build("/f", std::move(copy));

        // The old listing: ".." first to arrive, entries chained newest first.
        std::vector<Keyed> chain;
        TDirEntry up;
        up.FileName = "..";
        chain.push_back({up, ""});
        std::uint32_t n = 1;
        for (const auto& d : arrival) {
            TDirEntry e;
            e.FileName = d.name;
            e.Size = d.size;
            e.Attr = d.attr;
            e.IsExec = d.executable;
            e.Created = e.Written = d.written;
            chain.push_back({e, buildSortKey(e, sort, true, true, ++n)});
        }
        std::reverse(chain.begin(), chain.end());
        EXPECT_EQ(names(fl), bubbleOrder(chain)) << "sort type " << int(sort);
    }
}

// The keys themselves, written out by hand: the bubble-sort oracle above builds its keys with
// buildSortKey, so only these catch a key that is wrong in the same way for both.
TEST(SortKey, IsTheOldKeyByteForByte) {
    const auto pad = [](const std::string& s, std::size_t w) { return s + std::string(w - s.size(), ' '); };
    TDirEntry plain, prog, dir, sized, dated;
    plain.FileName = "ab.txt";
    prog.FileName = "Run.exe";
    dir.FileName = "Dir";
    sized.FileName = "x";
    dated.FileName = "zz.log";
    dir.Attr = faDirectory;
    sized.Size = 1'500'000'001LL;
    dated.Created.Year = 2020;
    dated.Created.Month = 1;
    dated.Created.Day = 2;
    dated.Created.Hour = 13;
    dated.Created.Minute = 45;
    dated.Created.Second = 9;
    const struct {
        const char* what;
        const TDirEntry& e;
        std::uint8_t sort;
        std::uint32_t arrival;
        std::string key;
    } cases[] = {
        {"name: N(32) E(30), a..z upper-cased", plain, stName, 3, "@" + pad("AB", 32) + pad("TXT", 30)},
        {"extension first", plain, stExt, 3, "@" + pad("TXT", 30) + pad("AB", 32)},
        {"a program", prog, stName, 3, "!" + pad("RUN", 32) + pad("EXE", 30)},
        {"a folder, no extension", dir, stExt, 3, " " + pad("", 30) + pad("DIR", 32)},
        {"arrival number", plain, stArrival, 7, "@0000000007"},
        {"size inverted in 19 digits", sized, stSize, 3, "@9999999998499999998" + pad("X", 30) + pad("", 20)},
        {"date inverted field by field", dated, stCreated, 3,
         "@797998978654"
         "90" +
             pad("ZZ", 20) + pad("LOG", 20)},
    };
    for (const auto& c : cases) EXPECT_EQ(buildSortKey(c.e, c.sort, true, true, c.arrival), c.key) << c.what;
}

TEST(SortOrder, HiddenEntriesFollowShowHiddenAndTheRootHasNoParentEntry) {
    TDirectory fl;
    fl.SortType = stName;
    fl.ShowHidden = false;
    fl.Build("/", {file(".hidden"), folder(".cache"), file("seen")});
    EXPECT_EQ(names(fl), std::vector<std::string>{"seen"});

    fl.ShowHidden = true;
    fl.Build("/", {file(".hidden"), folder(".cache"), file("seen")});
    EXPECT_EQ(names(fl), (std::vector<std::string>{".cache", ".hidden", "seen"}));
    EXPECT_TRUE(fl.IsRoot);
}

TEST(Selection, TotalsChangeOnlyWithTheStateAndNeverForTheParentEntry) {
    TDirectory fl;
    fl.SortType = stName;
    fl.Build("/x", {file("a", 3'000'000'000LL), file("b", 5), folder("c")});
    ASSERT_EQ(names(fl), (std::vector<std::string>{"..", "c", "a", "b"}));
    fl.setSelected(1, true);  // ".."
    EXPECT_EQ(fl.SelectedCount, 0);
    fl.setSelected(3, true);
    fl.setSelected(3, true);
    fl.setSelected(4, true);
    EXPECT_EQ(fl.SelectedCount, 2);
    EXPECT_EQ(fl.SelectedSize, 3'000'000'005LL);
    fl.setSelected(3, false);
    fl.setSelected(3, false);
    EXPECT_EQ(fl.SelectedCount, 1);
    EXPECT_EQ(fl.SelectedSize, 5);
    // A folder-size scan result counts in the totals of a selected folder.
    fl.setSelected(2, true);
    fl.setSize(2, 100);
    EXPECT_EQ(fl.SelectedSize, 105);
    EXPECT_EQ(fl.findByName("b"), 4);
    EXPECT_EQ(fl.findByName("B"), 0);
}

TEST(SplitName, KeepsTheWholeNameForPaths) {
    TDirectory fl;
    fl.Build("/x", {file("archive.tar.gz"), file("trailing."), file("plain")});
    const auto& e = fl.entry(fl.findByName("archive.tar.gz"));
    EXPECT_EQ(e.Name(), "archive.tar");
    EXPECT_EQ(e.Ext(), "gz");
    // "trailing." and "trailing" are different files on Linux: the shown name keeps the dot.
    EXPECT_NE(fl.findByName("trailing."), 0);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// A listing big enough to be sorted on two threads, full of ties (names equal but for
// case, sizes and times shared by many): the order must still be by key, and among equal
// keys the later-read entry first, exactly as the one-thread sort gives it.
TEST(SortOrder, ABigListingSortedOnTwoThreadsKeepsKeyOrderAndTheTieRule) {
    std::mt19937 rng(5);
    const char* exts[] = {"txt", "TXT", "c", "", "tar.gz"};
    std::vector<platform::DirItem> items;
    const std::size_t n = TDirectory::kParallelSortMin + 1001;
    for (std::size_t i = 0; i < n; ++i) {
        std::string name = "n" + std::to_string(rng() % 20000);
        if (rng() % 2) name[0] = 'N';
        if (const char* e = exts[rng() % 5]; *e) name += std::string(".") + e;
        platform::DirItem d;
        d.name = name + "_" + std::to_string(i % 3);  // names may repeat but for case
        if (rng() % 3 == 0) d.name = name;
        d.size = static_cast<std::int64_t>(rng() % 50);
        d.attr = rng() % 40 == 0 ? platform::faDirectory : platform::faArchive;
        d.written.Year = 2020;
        d.written.Month = 1;
        d.written.Day = 1 + rng() % 3;
        d.created = d.written;
        items.push_back(std::move(d));
    }
    for (std::uint8_t sort : {stName, stExt, stSize, stWritten}) {
        SCOPED_TRACE(int(sort));
        TDirectory fl;
        fl.SortType = sort;
        fl.Build("/big", std::vector<platform::DirItem>(items));
        ASSERT_EQ(fl.FilesCount(), static_cast<int>(n) + 1);
        struct Row {
            std::string key;
            std::uint32_t arrival;
        };
        std::vector<Row> shown;
        for (int i = 2; i <= fl.FilesCount(); ++i) shown.push_back({fl.sortKey(i), fl.entry(i).Arrival});
        std::vector<Row> expected = shown;
        std::sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) {
            return a.key != b.key ? a.key < b.key : a.arrival > b.arrival;
        });
        std::size_t ties = 0, wrong = 0;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (shown[i].arrival != expected[i].arrival) ++wrong;
            if (i > 0 && expected[i].key == expected[i - 1].key) ++ties;
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_GT(ties, 100u) << "the fixture must be full of ties";
    }
}

}  // namespace
}  // namespace kv

// The key sort against the plain one it stands for (a stable sort of the entries in
// reverse by memcmp): keys shorter and longer than the 16 bytes it carries along, columns
// that never vary, bytes above 0x7F, ties past the first 16 varying columns, and the
// two-thread path forced on small inputs.
TEST(KeySort, EqualsAStableSortOfTheReversedEntries) {
    std::mt19937 rng(11);
    struct Case {
        std::size_t stride, n;
        int alphabet;               // distinct byte values per varying column
        std::size_t constantEvery;  // every k-th column holds one byte in all keys (0: none)
    };
    const Case cases[] = {{1, 50, 3, 0},   {5, 300, 2, 0},     {8, 300, 4, 2},   {16, 500, 2, 0},
                          {17, 500, 2, 3}, {40, 800, 2, 2},    {63, 1000, 3, 4}, {70, 1, 2, 0},
                          {24, 0, 2, 0},   {30, 2000, 256, 0}, {48, 3000, 2, 0}, {20, 1000, 1, 0}};
    for (const Case& c : cases) {
        for (std::size_t parallelMin : {std::size_t(2), std::size_t(1) << 30}) {
            SCOPED_TRACE(testing::Message()
                         << "stride " << c.stride << " n " << c.n << " parallel from " << parallelMin);
            std::string keys(c.stride * c.n, '\0');
            for (std::size_t i = 0; i < c.n; ++i)
                for (std::size_t j = 0; j < c.stride; ++j)
                    keys[i * c.stride + j] = (c.constantEvery && j % c.constantEvery == 0)
                                                 ? char(0xC3)
                                                 : char(0x7E + rng() % unsigned(c.alphabet));
            std::vector<std::uint32_t> expected(c.n);
            for (std::size_t i = 0; i < c.n; ++i) expected[i] = std::uint32_t(c.n - 1 - i);
            std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
                return std::memcmp(keys.data() + a * c.stride, keys.data() + b * c.stride, c.stride) < 0;
            });
            std::vector<std::uint32_t> got;
            kv::sortByKeys(keys.data(), c.stride, c.n, got, parallelMin);
            EXPECT_EQ(got, expected);
        }
    }
}
