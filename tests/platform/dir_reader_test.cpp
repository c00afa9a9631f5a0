// The folder reader: attribute word, links, sizes, local times.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

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
