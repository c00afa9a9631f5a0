#include "platform/drives.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

using namespace kv::platform;

namespace {

const char* kMounts =
    "sysfs /sys sysfs rw,nosuid 0 0\n"
    "proc /proc proc rw 0 0\n"
    "/dev/sda2 / ext4 rw,relatime 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sda1 /boot vfat rw 0 0\n"
    "/dev/sda3 /home ext4 rw 0 0\n"
    "/dev/sdb1 /media/My\\040Stick vfat rw 0 0\n"
    "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
    "server:/export /srv/share nfs4 rw 0 0\n"
    "//nas/music /mnt/music cifs rw 0 0\n"
    "/dev/sdc1 /run/media/ann/BACKUP ext4 rw 0 0\n"
    "/dev/sdc2 /run/media/ann ext4 rw 0 0\n"
    "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
    "overlay /var/lib/docker/x overlay rw 0 0\n"
    "garbage\n"
    "/dev/sdd1 /home ext4 rw 0 0\n";

bool removableSdb(const std::string& dev) { return dev.rfind("/dev/sdb", 0) == 0; }

}  // namespace

TEST(Drives, MountTableKeepsUserMountsWithTheirKinds) {
    auto drives = parseMountTable(kMounts, removableSdb);
    struct Row {
        const char* mountPoint;
        const char* device;
        DriveKind kind;
    };
    // /home is mounted twice: the later mount is the one the user sees.
    const Row expected[] = {
        {"/", "/dev/sda2", DriveKind::Fixed},
        {"/boot", "/dev/sda1", DriveKind::Fixed},
        {"/home", "/dev/sdd1", DriveKind::Fixed},
        {"/media/My Stick", "/dev/sdb1", DriveKind::Removable},
        {"/media/cdrom", "/dev/sr0", DriveKind::CdRom},
        {"/srv/share", "server:/export", DriveKind::Network},
        {"/mnt/music", "//nas/music", DriveKind::Network},
        {"/run/media/ann/BACKUP", "/dev/sdc1", DriveKind::Fixed},
    };
    ASSERT_EQ(drives.size(), std::size(expected));
    for (size_t i = 0; i < drives.size(); ++i) {
        SCOPED_TRACE(expected[i].mountPoint);
        EXPECT_EQ(drives[i].mountPoint, expected[i].mountPoint);
        EXPECT_EQ(drives[i].device, expected[i].device);
        EXPECT_EQ(drives[i].kind, expected[i].kind);
    }
}

TEST(Drives, DriveOfTakesLongestWholeComponentPrefix) {
    auto drives = parseMountTable(kMounts, removableSdb);
    struct Row {
        const char* path;
        const char* mountPoint;
    };
    const Row rows[] = {
        {"/", "/"},
        {"/etc/passwd", "/"},
        {"/home", "/home"},
        {"/home/ann/x", "/home"},
        {"/homework", "/"},  // a name that merely starts like a mount point
        {"/media/My Stick/a.txt", "/media/My Stick"},
        {"/media/cdrom2", "/"},
    };
    for (const auto& r : rows) {
        const DriveInfo* d = driveOf(drives, r.path);
        ASSERT_NE(d, nullptr) << r.path;
        EXPECT_EQ(d->mountPoint, r.mountPoint) << r.path;
    }
    EXPECT_EQ(driveOf({}, "/x"), nullptr);
}

TEST(Drives, ThisMachineHasARootAndItsSpaceIs64Bit) {
    auto drives = listDrives();
    ASSERT_NE(driveOf(drives, "/"), nullptr);
    auto space = diskSpace("/");
    ASSERT_TRUE(space.has_value());
    EXPECT_GT(space->total, 0u);
    EXPECT_LE(space->free, space->total);
}

TEST(Drives, SpaceOfAMissingFolderIsNotReadyAndReturnsPromptly) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(diskSpace("/no/such/folder/here").has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// A stand-in for statvfs on a mount that answers only when opened: counts its calls and
// answers 1000 bytes in all with `free` free. Shared with the detached workers, which may
// outlive a failed test.
struct ProbeGate {
    std::mutex m;
    std::condition_variable cv;
    bool isOpen = false;
    std::atomic<int> calls{0};

    void open() {
        {
            std::lock_guard lock(m);
            isOpen = true;
        }
        cv.notify_all();
    }
    static SpaceProbe probe(const std::shared_ptr<ProbeGate>& gate, std::uint64_t free) {
        return [gate, free](const std::string&) -> std::optional<DiskSpace> {
            ++gate->calls;
            std::unique_lock lock(gate->m);
            gate->cv.wait(lock, [&] { return gate->isOpen; });
            return DiskSpace{1000, free};
        };
    }
};

// A network mount that stopped answering: the first ask waits its limit, and while that
// ask is still stuck a second one is "not ready" at once instead of waiting again (a
// folder asks when its reading starts and again when its listing is in). Once the mount
// answers, the path is asked as before.
TEST(Drives, AStuckAskIsNotWaitedForAgain) {
    auto gate = std::make_shared<ProbeGate>();
    const SpaceProbe probe = ProbeGate::probe(gate, 400);
    const std::string path = "/mnt/stuck-share";
    using namespace std::chrono_literals;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(diskSpace(path, 300ms, probe).has_value());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);

    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(diskSpace(path, 10s, probe).has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(gate->calls.load(), 1);
    EXPECT_TRUE(diskSpace("/", 10s).has_value()) << "other paths are asked as usual";

    gate->open();
    // The stuck worker ends and lets go of the path; the next asks run the probe again.
    std::optional<DiskSpace> space;
    for (int i = 0; i < 100 && !space; ++i) {
        space = diskSpace(path, 10s, probe);
        if (!space) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(space.has_value());
    EXPECT_EQ(space->free, 400u);
    EXPECT_GE(gate->calls.load(), 2);
}

TEST(Drives, AsksOfOnePathAtOnceShareOneAnswer) {
    auto gate = std::make_shared<ProbeGate>();
    const SpaceProbe probe = ProbeGate::probe(gate, 300);
    using namespace std::chrono_literals;
    const std::string path = "/mnt/slow-share";
    std::optional<DiskSpace> first;
    std::thread asker([&] { first = diskSpace(path, 10s, probe); });
    while (gate->calls.load() == 0) std::this_thread::sleep_for(5ms);
    std::thread opener([gate] {
        std::this_thread::sleep_for(100ms);
        gate->open();
    });
    const auto second = diskSpace(path, 10s, probe);
    asker.join();
    opener.join();
    ASSERT_TRUE(first.has_value());
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->free, 300u);
    EXPECT_EQ(gate->calls.load(), 1);
}

TEST(Drives, ADriveAnswersWhenItsFolderCanBeEntered) {
    EXPECT_TRUE(driveAnswers("/"));
    EXPECT_FALSE(driveAnswers("/no/such/mount/point"));
    // A mount point that is a file is not listed.
    const auto dir = std::filesystem::temp_directory_path() / "kv_drive_answers";
    std::filesystem::create_directories(dir);
    const auto file = dir / "plain-file";
    { std::ofstream(file) << "x"; }
    EXPECT_FALSE(driveAnswers(file.string()));
    std::filesystem::remove_all(dir);
}
