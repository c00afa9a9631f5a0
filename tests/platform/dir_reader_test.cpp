// The folder reader: attribute word, links, sizes, local times.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "platform/dir_reader.h"
#include "support/temp_dir.h"

namespace kv::platform {
namespace {

using Scratch = test::TempDir;

TEST(DirReader, AttributeWordAsTheOldFlags) {
    Scratch s;
    std::ofstream(s / "plain") << "12345";
    std::ofstream(s / "locked") << "";
    ::chmod((s / "locked").c_str(), 0444);
    std::ofstream(s / "tool") << "#!/bin/sh\n";
    ::chmod((s / "tool").c_str(), 0755);
    std::ofstream(s / ".dot") << "";
    std::filesystem::create_directory(s / "dir");
    ::mkfifo((s / "fifo").c_str(), 0644);
    std::filesystem::create_directory_symlink("dir", s / "dirlink");
    std::filesystem::create_symlink("nowhere", s / "dangling");

    std::vector<DirItem> items;
    ASSERT_TRUE(readDirectory(s.path(), items));
    std::map<std::string, DirItem> by;
    for (auto& i : items) by[i.name] = i;
    ASSERT_EQ(by.size(), 8u) << "no . or ..";

    struct Row {
        const char* name;
        std::uint16_t attr;
        bool link;
        bool exec;
    };
    for (const Row& r :
         {Row{"plain", faArchive, false, false}, Row{"locked", faArchive | faReadOnly, false, false},
          Row{"tool", faArchive, false, true}, Row{".dot", faArchive | faHidden, false, false},
          Row{"dir", faDirectory, false, false}, Row{"fifo", faSysFile, false, false},
          Row{"dirlink", faDirectory, true, false}}) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(by[r.name].attr, r.attr);
        EXPECT_EQ(by[r.name].isLink, r.link);
        EXPECT_EQ(by[r.name].executable, r.exec);
    }
    EXPECT_TRUE(by["dangling"].isLink);
    EXPECT_EQ(by["plain"].size, 5);
    EXPECT_EQ(by["dir"].size, 0) << "folders carry no size of their own";
}

TEST(DirReader, UnreadableFolderIsAFailureWithNothingListed) {
    std::vector<DirItem> items{DirItem{}};
    EXPECT_FALSE(readDirectory("/nonexistent/kv", items));
    EXPECT_TRUE(items.empty());
}

TEST(DirReader, LocalTimeMatchesTheSystemConversion) {
    // Across zones with daylight saving, a far-off date, and before 1970.
    for (const char* tz : {"UTC", "Europe/Berlin", "America/New_York", "Asia/Kolkata"}) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        for (std::int64_t t : {0LL, 1'700'000'000LL, 1'711'846'800LL /* DST switch hour */, -86'400LL * 400,
                               4'102'444'800LL, 1'699'999'999LL}) {
            SCOPED_TRACE(std::string(tz) + " " + std::to_string(t));
            const LocalTime lt = toLocalTime(t, 250'000'000);
            const time_t tt = static_cast<time_t>(t);
            struct tm ref;
            ASSERT_TRUE(localtime_r(&tt, &ref));
            EXPECT_EQ(lt.Year, ref.tm_year + 1900);
            EXPECT_EQ(lt.Month, ref.tm_mon + 1);
            EXPECT_EQ(lt.Day, ref.tm_mday);
            EXPECT_EQ(lt.Hour, ref.tm_hour);
            EXPECT_EQ(lt.Minute, ref.tm_min);
            EXPECT_EQ(lt.Second, ref.tm_sec);
            EXPECT_EQ(lt.DayOfWeek, ref.tm_wday);
            EXPECT_EQ(lt.Millisecond, 250);
        }
    }
    ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace kv::platform

namespace kv::platform {
namespace {

// The stat calls of a big folder spread over threads: the same entries, nothing lost or
// doubled, and a cancel ends the read as a failure with nothing listed.
TEST(DirReader, ParallelStatListsTheSameAsOneThreadAndCancels) {
    test::TempDir t;
    for (int i = 0; i < 5000; ++i)
        t.file("e" + std::to_string(i) + (i % 3 ? ".txt" : ""), std::string(i % 7, 'x'));
    std::filesystem::create_directory(t / "folder");
    auto byName = [](std::vector<DirItem> v) {
        std::sort(v.begin(), v.end(), [](const DirItem& a, const DirItem& b) { return a.name < b.name; });
        return v;
    };
    std::vector<DirItem> one, many;
    ReadControl single;
    single.threads = 1;
    ReadControl four;
    four.threads = 4;
    ASSERT_TRUE(readDirectory(t.path(), one, single));
    ASSERT_TRUE(readDirectory(t.path(), many, four));
    one = byName(std::move(one));
    many = byName(std::move(many));
    ASSERT_EQ(one.size(), 5001u);
    ASSERT_EQ(many.size(), one.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(many[i].name, one[i].name);
        EXPECT_EQ(many[i].size, one[i].size) << one[i].name;
        EXPECT_EQ(many[i].attr, one[i].attr) << one[i].name;
    }

    std::atomic<bool> cancel{true};
    ReadControl stopped;
    stopped.cancel = &cancel;
    std::vector<DirItem> none;
    EXPECT_FALSE(readDirectory(t.path(), none, stopped));
    EXPECT_TRUE(none.empty());

    // An entry removed between readdir and stat is left out.
    DirNames names;
    ASSERT_TRUE(names.open(t.path()));
    std::vector<DirItem> items;
    while (names.next(items, 1000)) {}
    std::filesystem::remove(t / "e1.txt");
    ASSERT_TRUE(statItems(names.fd(), items));
    EXPECT_EQ(items.size(), 5000u);
    EXPECT_TRUE(
        std::none_of(items.begin(), items.end(), [](const DirItem& d) { return d.name == "e1.txt"; }));
}

}  // namespace
}  // namespace kv::platform

namespace kv::platform {
namespace {

bool sameTime(const LocalTime& a, const LocalTime& b) {
    return a.Year == b.Year && a.Month == b.Month && a.Day == b.Day && a.DayOfWeek == b.DayOfWeek &&
           a.Hour == b.Hour && a.Minute == b.Minute && a.Second == b.Second && a.Millisecond == b.Millisecond;
}

// Every field the panel shows or sorts by, compared entry for entry.
void expectSameItems(std::vector<DirItem> a, std::vector<DirItem> b) {
    auto byName = [](const DirItem& x, const DirItem& y) { return x.name < y.name; };
    std::sort(a.begin(), a.end(), byName);
    std::sort(b.begin(), b.end(), byName);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        SCOPED_TRACE(a[i].name);
        ASSERT_EQ(a[i].name, b[i].name);
        EXPECT_EQ(a[i].size, b[i].size);
        EXPECT_EQ(a[i].attr, b[i].attr);
        EXPECT_EQ(a[i].isLink, b[i].isLink);
        EXPECT_EQ(a[i].danglingLink, b[i].danglingLink);
        EXPECT_EQ(a[i].executable, b[i].executable);
        EXPECT_EQ(a[i].kind, b[i].kind);
        EXPECT_EQ(a[i].typeHint, b[i].typeHint);
        EXPECT_TRUE(sameTime(a[i].written, b[i].written));
        EXPECT_TRUE(sameTime(a[i].accessed, b[i].accessed));
        EXPECT_TRUE(sameTime(a[i].created, b[i].created));
    }
}

// A folder big enough that the stat calls are split between threads, with every kind of
// entry among the plain files, so a slice boundary falls on each kind somewhere.
struct MixedFolder {
    test::TempDir t;
    MixedFolder() {
        for (int i = 0; i < 7000; ++i) {
            const std::string n = "e" + std::to_string(i);
            switch (i % 9) {
                case 1: std::filesystem::create_directory(t / n); break;
                case 2: std::filesystem::create_symlink("e0.txt", t / (n + ".lnk")); break;
                case 3: std::filesystem::create_symlink("missing" + n, t / (n + ".broken")); break;
                case 4: ::mkfifo((t / (n + ".fifo")).c_str(), 0600); break;
                case 5: std::filesystem::create_directory_symlink("e1", t / (n + ".dirlnk")); break;
                case 6:
                    t.file(n + ".sh", "#!/bin/sh\n");
                    ::chmod((t / (n + ".sh")).c_str(), 0755);
                    break;
                default: t.file(n + ".txt", std::string(static_cast<std::size_t>(i % 97), 'x'));
            }
        }
        // Times that differ from entry to entry (and from the reading's own time).
        for (int i = 0; i < 7000; i += 9) {
            const struct timespec ts[2] = {{1'600'000'000 + i * 3601L, i * 1000L},
                                           {1'500'000'000 + i * 61L, 0}};
            ::utimensat(AT_FDCWD, (t / ("e" + std::to_string(i) + ".txt")).c_str(), ts, 0);
        }
        // Following a broken link reads it, which sets its access time once (relatime):
        // one read first, so every read after it sees the same times.
        std::vector<DirItem> warm;
        readDirectory(t.path(), warm);
    }
};

TEST(DirReader, ParallelStatGivesExactlyTheSerialResultForEveryKindOfEntry) {
    MixedFolder f;
    std::vector<DirItem> serial, parallel;
    ReadControl one;
    one.threads = 1;
    ASSERT_TRUE(readDirectory(f.t.path(), serial, one));
    ASSERT_EQ(serial.size(), 7000u);
    for (unsigned threads : {2u, 3u}) {
        SCOPED_TRACE(threads);
        ReadControl many;
        many.threads = threads;
        ASSERT_TRUE(readDirectory(f.t.path(), parallel, many));
        expectSameItems(serial, parallel);
    }
    std::map<std::string, DirItem> by;
    for (const auto& d : serial) by[d.name] = d;
    EXPECT_EQ(by["e2.lnk"].kind, FileKind::Regular);
    EXPECT_TRUE(by["e3.broken"].danglingLink);
    EXPECT_EQ(by["e4.fifo"].kind, FileKind::Fifo);
    EXPECT_EQ(by["e5.dirlnk"].attr & faDirectory, faDirectory);
    EXPECT_EQ(by["e1"].kind, FileKind::Folder);
}

TEST(DirReader, EntriesRemovedWhileTheThreadsStatAreLeftOutAndTheRestIsExact) {
    MixedFolder f;
    std::vector<DirItem> before;
    ReadControl one;
    one.threads = 1;
    ASSERT_TRUE(readDirectory(f.t.path(), before, one));

    DirNames names;
    ASSERT_TRUE(names.open(f.t.path()));
    std::vector<DirItem> items;
    while (names.next(items, 1000)) {}
    // Another thread removes every third entry while the stat threads run.
    // The links' targets stay, so each link reads the same whenever it is stated.
    std::vector<std::pair<std::string, int>> doomed;
    for (const auto& d : before)
        if (std::hash<std::string>{}(d.name) % 3 == 0 && d.name != "e0.txt" && d.name != "e1")
            doomed.emplace_back(d.name, d.kind == FileKind::Folder && !d.isLink ? AT_REMOVEDIR : 0);
    ASSERT_GT(doomed.size(), 1000u);
    std::thread remover([&] {
        for (const auto& [n, flags] : doomed) ::unlinkat(names.fd(), n.c_str(), flags);
    });
    ReadControl two;
    two.threads = 2;
    ASSERT_TRUE(statItems(names.fd(), items, two));
    remover.join();

    std::set<std::string> gone;
    for (const auto& [n, flags] : doomed) gone.insert(n);
    std::set<std::string> listed;
    for (const auto& d : items) EXPECT_TRUE(listed.insert(d.name).second) << "listed twice: " << d.name;
    // What stayed is listed exactly as before; of what went, whatever was stated in time.
    std::vector<DirItem> stayedBefore, stayedNow;
    for (const auto& d : before)
        if (!gone.count(d.name)) stayedBefore.push_back(d);
    for (const auto& d : items)
        if (!gone.count(d.name)) stayedNow.push_back(d);
    expectSameItems(stayedBefore, stayedNow);
    EXPECT_LE(items.size(), before.size());
    for (const auto& [n, flags] : doomed)
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(f.t / n))) << n;
}

}  // namespace
}  // namespace kv::platform
