// The job queue's order: one device one job at a time in queue order, separate devices side
// by side, a waiting job that is dropped never starts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine_fixture.h"
#include "fileops/engine/job_schedule.h"

using namespace kvtest;
using S = kv::fileops::JobSchedule;

TEST(JobSchedule, JobsOnOneDeviceRunOneAfterAnotherInQueueOrder) {
    S s;
    const auto a = s.add({7}), b = s.add({7}), c = s.add({7, 7});
    EXPECT_EQ(s.take(), std::vector<S::Id>{a});
    EXPECT_TRUE(s.take().empty()) << "nothing more while the first runs";
    EXPECT_EQ(s.state(b), S::State::Queued);
    s.finish(a);
    EXPECT_EQ(s.state(a), S::State::Gone);
    EXPECT_EQ(s.take(), std::vector<S::Id>{b});
    s.finish(b);
    EXPECT_EQ(s.take(), std::vector<S::Id>{c});
    s.finish(c);
    EXPECT_EQ(s.running() + s.queued(), 0u);
}

TEST(JobSchedule, JobsOnSeparateDevicesRunTogetherButNeverOvertakeAnEarlierJobOnTheirDevice) {
    S s;
    const auto copyAtoB = s.add({1, 2});
    const auto onC = s.add({3});
    const auto onA = s.add({1});
    const auto cThenD = s.add({3, 4});
    const auto onD = s.add({4});  // must wait behind cThenD, which waits for onC
    const auto unknown = s.add({});
    EXPECT_EQ(s.take(), (std::vector<S::Id>{copyAtoB, onC}));
    EXPECT_EQ(s.running(), 2u);
    EXPECT_EQ(s.queued(), 4u);
    s.finish(onC);
    EXPECT_EQ(s.take(), std::vector<S::Id>{cThenD});
    s.finish(copyAtoB);
    EXPECT_EQ(s.take(), std::vector<S::Id>{onA});
    s.finish(cThenD);
    EXPECT_EQ(s.take(), std::vector<S::Id>{onD});
    s.finish(onA);
    s.finish(onD);
    EXPECT_EQ(s.take(), std::vector<S::Id>{unknown}) << "a job of unknown devices runs alone";
}

TEST(JobSchedule, ADroppedWaitingJobNeverStartsAndARunningOneCannotBeDropped) {
    S s;
    const auto a = s.add({1}), b = s.add({1}), c = s.add({1});
    ASSERT_EQ(s.take(), std::vector<S::Id>{a});
    EXPECT_FALSE(s.dropQueued(a));
    EXPECT_TRUE(s.dropQueued(b));
    EXPECT_FALSE(s.dropQueued(b));
    EXPECT_EQ(s.state(b), S::State::Gone);
    s.finish(a);
    EXPECT_EQ(s.take(), std::vector<S::Id>{c});
}

TEST(JobSchedule, DevicesOfAMissingTargetAreThoseOfTheFolderItWillBeMadeIn) {
    kv::test::TempDir dir;
    struct stat st {};
    ASSERT_EQ(::stat(dir.path().c_str(), &st), 0);
    const auto dev = static_cast<std::uint64_t>(st.st_dev);
    EXPECT_EQ(devicesOf({dir.path() + "/not/yet/made", dir.path()}), std::vector<std::uint64_t>{dev});
    struct stat proc {};
    if (::stat("/proc/self", &proc) == 0 && proc.st_dev != st.st_dev) {
        EXPECT_EQ(devicesOf({"/proc/self", dir.path()}).size(), 2u);
    }
}
