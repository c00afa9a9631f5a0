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
    // one watches is a real change, and is told.
    auto table = [] {
        std::ifstream in("/proc/self/mounts");
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
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
    if (table() == before) {
        EXPECT_EQ(calls.load(), 0) << "nothing was mounted meanwhile";
    }
    w.stop();  // a second stop is harmless
}

TEST(MountWatcher, AMissingTableDoesNotStart) {
    MountWatcher w("/no/such/mounts");
    EXPECT_FALSE(w.start([] {}));
    EXPECT_FALSE(w.running());
}
