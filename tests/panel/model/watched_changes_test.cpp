// Changes other programs make to a folder, as the folder watcher names them, applied to
// the panel's sorted listing entry by entry: the listing must equal a fresh read, and the
// cursor and the selection stay on their names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "panel/model/panel_model.h"
#include "platform/folder_watcher.h"
#include "temp_dir.h"

namespace kv {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

std::vector<std::string> shown(const TDirectory& fl) {
    std::vector<std::string> out;
    for (int i = 1; i <= fl.FilesCount(); ++i) out.push_back(fl.displayName(i));
    return out;
}

struct Case {
    const char* what;
    std::function<void(const std::string& dir, const std::string& outside)> change;
};

const Case kCases[] = {
    {"create files, a folder, a link and a fifo",
     [](const std::string& d, const std::string&) {
         std::ofstream(d + "/0first.txt") << "1";
         std::ofstream(d + "/zz.last") << "12345";
         fs::create_directory(d + "/newdir");
         fs::create_symlink("a.txt", d + "/link.txt");
         ::mkfifo((d + "/pipe").c_str(), 0600);
     }},
    {"delete files and a folder",
     [](const std::string& d, const std::string&) {
         fs::remove(d + "/a.txt");
         fs::remove(d + "/f07.cpp");
         fs::remove(d + "/sub");
     }},
    {"rename within the folder",
     [](const std::string& d, const std::string&) {
         fs::rename(d + "/a.txt", d + "/zzz.bak");
         fs::rename(d + "/f03.cpp", d + "/f03.txt");
         fs::rename(d + "/sub", d + "/Sub2");
     }},
    {"rename out of the folder and in from outside",
     [](const std::string& d, const std::string& out) {
         fs::rename(d + "/b.dat", out + "/b.dat");
         fs::rename(d + "/f11.cpp", out + "/gone.cpp");
         std::ofstream(out + "/came.txt") << "abc";
         fs::rename(out + "/came.txt", d + "/came.txt");
     }},
    {"modify content, size and execute bit",
     [](const std::string& d, const std::string&) {
         std::ofstream(d + "/a.txt") << std::string(9000, 'x');
         std::ofstream(d + "/f01.cpp", std::ios::app) << "more";
         ::chmod((d + "/f02.cpp").c_str(), 0755);
         ::chmod((d + "/b.dat").c_str(), 0444);
     }},
    {"a name made, renamed and removed again, and one replaced by a folder",
     [](const std::string& d, const std::string&) {
         std::ofstream(d + "/tmp1") << "x";
         fs::rename(d + "/tmp1", d + "/tmp2");
         fs::remove(d + "/tmp2");
         fs::remove(d + "/f05.cpp");
         fs::create_directory(d + "/f05.cpp");
     }},
};

TEST(WatchedChanges, AppliedByNameEqualAFreshReadAndKeepCursorAndSelection) {
    for (std::uint8_t sort : {srName, srExt, srSize, srDate}) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.what) + ", sort " + std::to_string(sort));
            TempDir t;
            const std::string d = t.dir("watched");
            const std::string outside = t.dir("outside");
            for (int i = 0; i < 20; ++i) {
                char n[16];
                std::snprintf(n, sizeof n, "f%02d.cpp", i);
                t.file(std::string("watched/") + n, std::string(static_cast<std::size_t>(i * 37 % 23), 'y'));
            }
            t.file("watched/a.txt", "aa");
            t.file("watched/b.dat", "bbb");
            t.file("watched/keep.h", "k");
            t.file("watched/sel.h", "s");
            fs::create_directory(d + "/sub");

            TFPanelModel m;
            m.SortMethod = sort;
            m.Rows = 100;
            m.CurDir = d;
            m.ReadDir();
            m.PosList = 0;
            m.Bar_Pos = m.FL.findByName("keep.h") - 1;
            m.FL.setSelected(m.FL.findByName("sel.h"), true);
            m.FL.setSelected(m.FL.findByName("f09.cpp"), true);

            std::mutex mu;
            std::vector<platform::NameChange> pending;
            bool lost = false;
            platform::FolderWatcher w;
            w.startWithNames(
                d,
                platform::fwFileName | platform::fwDirName | platform::fwAttributes | platform::fwClosedWrite,
                false, [&](platform::WatchEvent e, std::vector<platform::NameChange>&& names) {
                    std::lock_guard lock(mu);
                    if (e != platform::WatchEvent::Changed) lost = true;
                    for (auto& n : names) pending.push_back(std::move(n));
                });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the watch is in place
            c.change(d, outside);

            // Apply what the watcher names, batch by batch, until the listing is the
            // folder's (or the watcher stays silent for good).
            bool same = false;
            for (int tries = 0; tries < 300 && !same; ++tries) {
                std::vector<std::string> batch;
                {
                    std::lock_guard lock(mu);
                    ASSERT_FALSE(lost) << "the watcher reported no names";
                    for (auto& n : pending)
                        if (std::find(batch.begin(), batch.end(), n.name) == batch.end())
                            batch.push_back(n.name);
                    pending.clear();
                }
                if (!batch.empty()) {
                    ASSERT_TRUE(m.ApplyChanges(batch));
                }
                TDirectory fresh;
                fresh.SortType = sort;
                fresh.Read(d);
                same = shown(m.FL) == shown(fresh);
                if (same)
                    for (int i = 1; i <= fresh.FilesCount(); ++i) {
                        const int j = m.FL.findByName(fresh.entry(i).FileName);
                        same = same && j == i && m.FL.size(j) == fresh.size(i) &&
                               m.FL.entry(j).Attr == fresh.entry(i).Attr;
                    }
                if (!same) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            w.stop();
            EXPECT_TRUE(same) << "applied changes never matched a fresh read";
            EXPECT_EQ(m.FL.entry(m.cursorIndex()).FileName, "keep.h");
            EXPECT_TRUE(m.FL.selected(m.FL.findByName("sel.h")));
            const bool selKept = m.FL.findByName("f09.cpp") > 0;
            EXPECT_EQ(m.FL.SelectedCount, selKept ? 2 : 1);
            EXPECT_EQ(m.FilesCount, m.FL.FilesCount());
        }
    }
}

}  // namespace
}  // namespace kv
