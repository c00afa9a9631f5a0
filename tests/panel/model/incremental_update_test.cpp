// Changes on disk applied entry by entry must give exactly the listing a full read gives.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "panel/model/directory.h"

namespace kv {
namespace {

using platform::DirItem;
using platform::faArchive;
using platform::faDirectory;

DirItem item(const std::string& name, std::int64_t size = 1, int minute = 0, bool dir = false,
             bool exec = false) {
    DirItem d;
    d.name = name;
    d.size = dir ? 0 : size;
    d.attr = dir ? faDirectory : faArchive;
    d.executable = exec;
    d.written.Year = 2021;
    d.written.Month = 3;
    d.written.Day = 4;
    d.written.Minute = static_cast<std::uint64_t>(minute);
    d.created = d.written;
    return d;
}

std::vector<std::string> order(const TDirectory& fl) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl.FilesCount(); ++i) out.push_back(fl.displayName(i));
    return out;
}

// One step: what is on disk afterwards, by name.
struct Step {
    std::vector<DirItem> put;       // created or changed
    std::vector<std::string> drop;  // deleted (a rename is a drop and a put)
};

struct Sequence {
    const char* what;
    std::vector<DirItem> start;
    std::vector<Step> steps;
};

std::vector<Sequence> sequences() {
    return {
        {"creates land in their places",
         {item("b.txt"), item("d.cpp"), item("f")},
         {{{item("a.txt"), item("e.h", 5), item("z.EXE"), item("c", 0, 0, true)}, {}}}},
        {"deletes, the first and the last included",
         {item("a"), item("b.txt", 3), item("c.txt"), item("d", 0, 0, true), item("zz.bat")},
         {{{}, {"a", "zz.bat", "d"}}}},
        {"renames one by one",
         {item("one.txt"), item("two.txt"), item("three.log")},
         {{{item("uno.txt")}, {"one.txt"}},
          {{item("a.txt")}, {"two.txt"}},
          {{item("three.txt")}, {"three.log"}}}},
        {"changes of size, time, execute bit and kind move the entry",
         {item("a.dat", 10, 1), item("b.dat", 20, 2), item("c.dat", 30, 3), item("d.dat", 40, 4)},
         {{{item("a.dat", 50, 9)}, {}},
          {{item("b.dat", 20, 2, false, true)}, {}},
          {{item("c.dat", 0, 3, true)}, {}},
          {{item("d.dat", 40, 4)}, {}}}},
        {"a create and a delete of the same name in one batch, and names that never were",
         {item("keep.txt"), item("x.txt")},
         {{{item("new.txt")}, {"x.txt", "ghost.txt"}}, {{item("x.txt", 7)}, {"new.txt"}}}},
    };
}

TEST(IncrementalUpdate, EqualsAFullReadInEverySortOrder) {
    for (std::uint8_t sort : {stName, stExt, stSize, stCreated}) {
        for (const Sequence& seq : sequences()) {
            TDirectory live;
            live.SortType = sort;
            live.Build("/f", std::vector<DirItem>(seq.start));
            std::map<std::string, DirItem> disk;
            for (const auto& d : seq.start) disk[d.name] = d;
            int stepNo = 0;
            for (const Step& st : seq.steps) {
                ++stepNo;
                for (const auto& n : st.drop) disk.erase(n);
                for (const auto& d : st.put) disk[d.name] = d;
                ASSERT_TRUE(live.Apply(std::vector<DirItem>(st.put), st.drop))
                    << seq.what << ", sort " << int(sort) << ", step " << stepNo;

                TDirectory full;
                full.SortType = sort;
                std::vector<DirItem> now;
                for (const auto& [name, d] : disk) now.push_back(d);
                full.Build("/f", std::move(now));
                EXPECT_EQ(order(live), order(full))
                    << seq.what << ", sort " << int(sort) << ", step " << stepNo;
                EXPECT_EQ(live.TotalSize, full.TotalSize) << seq.what;
                for (int i = 1; i <= full.FilesCount(); ++i)
                    EXPECT_EQ(live.findByName(full.displayName(i)), i)
                        << seq.what << ": " << full.displayName(i);
            }
        }
    }
}

TEST(IncrementalUpdate, ManyRandomBatchesOnABigListingStayExact) {
    std::mt19937 rng(11);
    const char* exts[] = {"txt", "cpp", "", "exe", "tar.gz"};
    auto randomItem = [&](int n) {
        std::string name = "f" + std::to_string(n);
        if (const char* e = exts[rng() % 5]; *e) name += std::string(".") + e;
        return item(name, static_cast<std::int64_t>(rng() % 100000) * 7 + n, static_cast<int>(rng() % 60),
                    rng() % 13 == 0, rng() % 11 == 0);
    };
    for (std::uint8_t sort : {stName, stSize}) {
        std::map<std::string, DirItem> disk;
        for (int i = 0; i < 3000; ++i) {
            DirItem d = randomItem(i);
            disk[d.name] = d;
        }
        TDirectory live;
        live.SortType = sort;
        {
            std::vector<DirItem> all;
            for (const auto& [n, d] : disk) all.push_back(d);
            live.Build("/big", std::move(all));
        }
        int next = 3000;
        for (int batch = 0; batch < 40; ++batch) {
            Step st;
            for (int k = 0; k < 30; ++k) {
                const int what = static_cast<int>(rng() % 3);
                if (what == 0 || disk.empty()) {
                    st.put.push_back(randomItem(next++));
                } else {
                    auto it = disk.begin();
                    std::advance(it, static_cast<long>(rng() % disk.size()));
                    if (what == 1) {
                        st.drop.push_back(it->first);
                    } else {
                        DirItem changed = it->second;
                        changed.size = static_cast<std::int64_t>(rng() % 1000);
                        st.put.push_back(changed);
                    }
                }
            }
            // A name both dropped and put ends as put, as the panel states it from disk.
            for (const auto& d : st.put) std::erase(st.drop, d.name);
            for (const auto& n : st.drop) disk.erase(n);
            for (const auto& d : st.put) disk[d.name] = d;
            ASSERT_TRUE(live.Apply(std::vector<DirItem>(st.put), st.drop)) << "batch " << batch;
        }
        TDirectory full;
        full.SortType = sort;
        std::vector<DirItem> all;
        for (const auto& [n, d] : disk) all.push_back(d);
        full.Build("/big", std::move(all));
        EXPECT_EQ(order(live), order(full)) << "sort " << int(sort);
        EXPECT_EQ(live.TotalSize, full.TotalSize);
    }
}

TEST(IncrementalUpdate, KeepsTheSelectionAndItsTotals) {
    TDirectory fl;
    fl.SortType = stSize;
    fl.Build("/s", {item("a", 10), item("b", 20), item("c", 30)});
    fl.setSelected(fl.findByName("a"), true);
    fl.setSelected(fl.findByName("c"), true);
    ASSERT_EQ(fl.SelectedSize, 40);
    ASSERT_TRUE(fl.Apply({item("a", 100), item("d", 5)}, {"c"}));
    EXPECT_EQ(order(fl), (std::vector<std::string>{"..", "a", "b", "d"})) << "largest first";
    EXPECT_TRUE(fl.selected(fl.findByName("a")));
    EXPECT_FALSE(fl.selected(fl.findByName("d")));
    EXPECT_EQ(fl.SelectedCount, 1);
    EXPECT_EQ(fl.SelectedSize, 100);
    EXPECT_EQ(fl.TotalSize, 125);
}

TEST(IncrementalUpdate, RefusesWhatOnlyTheFileSystemsOrderDecides) {
    // Equal keys are ordered by reading order, and arrival order is the reading order.
    const std::string k32(32, 'k');
    const struct {
        const char* what;
        std::uint8_t sort;
        std::vector<DirItem> put;
        std::vector<std::string> drop;
        bool applies;
    } cases[] = {
        {"a name that differs only in case", stName, {item("A.TXT")}, {}, false},
        {"names equal in their first 32 characters", stName, {item(k32 + "2.txt")}, {}, false},
        {"two new entries tying with each other", stName, {item("q.c"), item("Q.C")}, {}, false},
        {"a case-only rename (the tying entry leaves)", stName, {item("A.txt")}, {"a.txt"}, true},
        {"a new entry in arrival order", stArrival, {item("new")}, {}, false},
        {"a delete in arrival order", stArrival, {}, {"a.txt"}, true},
    };
    for (const auto& c : cases) {
        TDirectory fl;
        fl.SortType = c.sort;
        fl.Build("/t", {item("a.txt"), item(k32 + "1.txt"), item("m")});
        const auto before = order(fl);
        EXPECT_EQ(fl.Apply(std::vector<DirItem>(c.put), c.drop), c.applies) << c.what;
        if (!c.applies) {
            EXPECT_EQ(order(fl), before) << c.what << ": a refusal changes nothing";
        }
    }
}

TEST(ListingMemory, StaysNearEightyBytesAnEntry) {
    std::vector<DirItem> items;
    for (int i = 0; i < 100000; ++i) items.push_back(item("f" + std::to_string(i) + ".txt"));
    TDirectory fl;
    fl.Build("/m", std::move(items));
    const double perEntry = static_cast<double>(fl.memoryBytes()) / fl.FilesCount();
    EXPECT_LT(perEntry, 100.0) << "short names inline, one pool, 4-byte order and index slots";
}

// New entries never move the listing's others: with a plain vector the first create in a
// folder of a million copied every entry while the window waited.
TEST(ListingMemory, NewEntriesLeaveTheOthersWhereTheyAre) {
    std::vector<DirItem> items;
    for (int i = 0; i < 20000; ++i) items.push_back(item("f" + std::to_string(i) + ".txt"));
    TDirectory fl;
    fl.Build("/m", std::move(items));
    struct Where {
        std::string name;
        const TDirEntry* at;
    };
    std::vector<Where> before;
    for (int i = 1; i <= fl.FilesCount(); ++i) before.push_back({fl.displayName(i), &fl.entry(i)});
    std::vector<DirItem> added;
    for (int i = 0; i < 9000; ++i) added.push_back(item("g" + std::to_string(i) + ".txt"));
    ASSERT_TRUE(fl.Apply(std::move(added), {}));
    std::size_t moved = 0;
    for (const Where& w : before) {
        const int i = fl.findByName(w.name);
        moved += i == 0 || &fl.entry(i) != w.at;
    }
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(fl.FilesCount(), 29001);
}

TEST(ListingMemory, ASmallListingHoldsLittle) {
    std::vector<DirItem> items;
    for (int i = 0; i < 3; ++i) items.push_back(item("f" + std::to_string(i)));
    TDirectory fl;
    fl.Build("/m", std::move(items));
    EXPECT_LT(fl.memoryBytes(), 4096u);
}

}  // namespace
}  // namespace kv
