#include "platform/mount_watcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

using kv::platform::MountWatcher;

TEST(MountWatcher, QuietWithoutChangesAndStopsPromptly) {
    // Other tests of the run mount file systems of their own; a change they make while this
    // one watches is a real change, and is told. A mount and its unmount both inside the
    // window leave the table as it was, so a watch that was told something is tried again: a
    // watcher that calls without a change fails every round.
    auto table = [] {
        std::ifstream in("/proc/self/mounts");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    int quietRounds = 0;
    for (int round = 0; round < 5 && quietRounds == 0; ++round) {
        const std::string before = table();
        MountWatcher w;
        std::atomic<int> calls{0};
        ASSERT_TRUE(w.start([&] { ++calls; }));
        EXPECT_TRUE(w.running());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto begin = std::chrono::steady_clock::now();
        w.stop();
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(500));
        EXPECT_FALSE(w.running());
        if (table() == before && calls.load() == 0) ++quietRounds;
        w.stop();  // a second stop is harmless
    }
    EXPECT_EQ(quietRounds, 1) << "the watcher called in every round although nothing was mounted";
}

TEST(MountWatcher, AMissingTableDoesNotStart) {
    MountWatcher w("/no/such/mounts");
    EXPECT_FALSE(w.start([] {}));
    EXPECT_FALSE(w.running());
}
