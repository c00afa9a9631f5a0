// The inotify folder watcher: what fires, what does not, and a prompt stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/folder_watcher.h"
#include "support/temp_dir.h"

namespace kv::platform {
namespace {

using namespace std::chrono_literals;

struct Recorder {
    std::mutex m;
    std::vector<WatchEvent> events;
    FolderWatcher::Callback cb() {
        return [this](WatchEvent e) {
            std::lock_guard l(m);
            events.push_back(e);
        };
    }
    std::size_t count(WatchEvent e) {
        std::lock_guard l(m);
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), e));
    }
    // Waits up to two seconds for at least one event of that kind.
    bool waitFor(WatchEvent e) {
        for (int i = 0; i < 200; ++i) {
            if (count(e)) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    void clear() {
        std::lock_guard l(m);
        events.clear();
    }
};

struct WatchedDir : ::testing::Test {
    test::TempDir tmp{"kvwatch"};
    std::filesystem::path dir = tmp.path();
    void SetUp() override { std::ofstream(dir / "existing") << "a"; }
};

TEST_F(WatchedDir, FileNamesFireAndContentOrSubfoldersDoNot) {
    Recorder r;
    FolderWatcher w;
    w.start(dir.string(), fwFileName, false, r.cb());
    std::this_thread::sleep_for(50ms);

    struct Step {
        const char* what;
        std::function<void()> act;
        bool fires;
    };
    const std::vector<Step> steps = {
        {"content change", [&] { std::ofstream(dir / "existing", std::ios::app) << "more"; }, false},
        {"new subfolder", [&] { std::filesystem::create_directory(dir / "sub"); }, false},
        {"create", [&] { std::ofstream(dir / "new") << "x"; }, true},
        {"rename", [&] { std::filesystem::rename(dir / "new", dir / "renamed"); }, true},
        {"delete", [&] { std::filesystem::remove(dir / "renamed"); }, true},
    };
    for (const Step& s : steps) {
        r.clear();
        s.act();
        if (s.fires) {
            EXPECT_TRUE(r.waitFor(WatchEvent::Changed)) << s.what;
        } else {
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(r.count(WatchEvent::Changed), 0u) << s.what;
        }
    }
    w.stop();
    EXPECT_FALSE(w.running());
}

// The named form: each change of the folder's own entries with its kind and name, a
// closed write only when asked for, and nothing from inside subfolders.
TEST_F(WatchedDir, NamedChangesSayWhatHappenedToWhichName) {
    std::mutex m;
    std::vector<std::pair<NameChange::Kind, std::string>> seen;
    FolderWatcher w;
    std::filesystem::create_directory(dir / "sub");
    w.startWithNames(dir.string(), fwFileName | fwDirName | fwClosedWrite, false,
                     [&](WatchEvent ev, std::vector<NameChange>&& names) {
                         std::lock_guard l(m);
                         if (ev == WatchEvent::Changed)
                             for (auto& n : names) seen.emplace_back(n.kind, n.name);
                     });
    std::ofstream(dir / "sub" / "inner") << "x";
    std::ofstream(dir / "made") << "x";
    std::filesystem::rename(dir / "made", dir / "moved");
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::remove(dir / "existing");
    const std::vector<std::pair<NameChange::Kind, std::string>> expected = {
        {NameChange::Created, "made"},  {NameChange::Changed, "made"},   {NameChange::MovedFrom, "made"},
        {NameChange::MovedTo, "moved"}, {NameChange::Created, "folder"}, {NameChange::Deleted, "existing"},
    };
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard l(m);
            if (seen.size() >= expected.size()) break;
        }
        std::this_thread::sleep_for(10ms);
    }
    w.stop();
    EXPECT_EQ(seen, expected);
}

TEST_F(WatchedDir, FolderNamesAndNestedFoldersWhenAskedFor) {
    std::filesystem::create_directories(dir / "a/b");
    Recorder r;
    FolderWatcher w;
    w.start(dir.string(), fwDirName, true, r.cb());
    std::this_thread::sleep_for(50ms);
    std::filesystem::create_directory(dir / "a/b/deep");
    EXPECT_TRUE(r.waitFor(WatchEvent::Changed));
}

TEST_F(WatchedDir, StopRightAfterStartIsPrompt) {
    for (int i = 0; i < 20; ++i) {
        FolderWatcher w;
        const auto t0 = std::chrono::steady_clock::now();
        w.start(dir.string(), fwFileName, false, nullptr);
        w.stop();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
    }
}

TEST_F(WatchedDir, MissingFolderFailsOnceAndVanishingFolderIsReported) {
    Recorder missing;
    FolderWatcher w1;
    w1.start((dir / "nope").string(), fwFileName, false, missing.cb());
    EXPECT_TRUE(missing.waitFor(WatchEvent::Failed));
    EXPECT_TRUE(w1.running()) << "counts as running until stop";
    w1.stop();
    EXPECT_EQ(missing.count(WatchEvent::Failed), 1u);

    std::filesystem::create_directory(dir / "doomed");
    Recorder gone;
    FolderWatcher w2;
    w2.start((dir / "doomed").string(), fwFileName, false, gone.cb());
    std::this_thread::sleep_for(50ms);
    std::filesystem::remove(dir / "doomed");
    EXPECT_TRUE(gone.waitFor(WatchEvent::Gone));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(gone.count(WatchEvent::Gone), 1u);
}

}  // namespace
}  // namespace kv::platform
