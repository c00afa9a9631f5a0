#include "platform/system_info.h"

#include <gtest/gtest.h>

using namespace kv::platform;

TEST(SystemInfo, MeminfoGivesBytesAndLoad) {
    struct Row {
        const char* text;
        std::uint64_t total, avail, swap;
        int load;
    };
    const Row rows[] = {
        // MemAvailable present: 25% in use.
        {"MemTotal:        1000 kB\nMemFree:          100 kB\nMemAvailable:     750 kB\n"
         "Buffers: 10 kB\nCached: 20 kB\nSwapTotal:       2048 kB\nSwapFree: 1024 kB\n",
         1024000, 768000, 2097152, 25},
        // An old kernel without MemAvailable: free + buffers + cached.
        {"MemTotal: 32768 kB\nMemFree: 8192 kB\nBuffers: 0 kB\nCached: 8192 kB\n", 33554432, 16777216, 0, 50},
        // Nothing readable: zeros, no division by zero.
        {"", 0, 0, 0, 0},
    };
    for (const auto& r : rows) {
        auto m = parseMeminfo(r.text);
        EXPECT_EQ(m.totalPhys, r.total) << r.text;
        EXPECT_EQ(m.availPhys, r.avail) << r.text;
        EXPECT_EQ(m.totalSwap, r.swap) << r.text;
        EXPECT_EQ(m.memoryLoad, r.load) << r.text;
    }
}

TEST(SystemInfo, SwapsAddUpAllAreasPast4GiB) {
    const char* text =
        "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n"
        "/dev/nvme0n1p3                          partition\t8388604\t\t0\t\t-2\n"
        "/swapfile                               file\t\t1048576\t\t0\t\t-3\n";
    EXPECT_EQ(parseSwapsTotal(text), (8388604ull + 1048576ull) * 1024);
    EXPECT_EQ(parseSwapsTotal("Filename Type Size Used Priority\n"), 0u);
}

TEST(SystemInfo, CpuAndOsFallbacks) {
    EXPECT_EQ(parseCpuModel("processor\t: 0\nvendor_id\t: GenuineIntel\nmodel name\t: Intel(R) Core(TM) i5\n"
                            "processor\t: 1\nmodel name\t: other\n"),
              "Intel(R) Core(TM) i5");
    EXPECT_EQ(parseCpuModel("processor : 0\nvendor_id : AuthenticAMD\n"), "AuthenticAMD");
    EXPECT_EQ(parseCpuModel("Processor : AArch64\nHardware : BCM2835\n"), "BCM2835");

    EXPECT_EQ(parseOsRelease("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(parseOsRelease("NAME=Alpine\nVERSION='3.19'\n"), "Alpine 3.19");
    EXPECT_EQ(parseOsRelease(""), "Linux");
}

TEST(SystemInfo, ThisMachineAnswers) {
    auto m = memoryStatus();
    EXPECT_GT(m.totalPhys, 0u);
    EXPECT_LE(m.availPhys, m.totalPhys);
    EXPECT_GE(m.memoryLoad, 0);
    EXPECT_LE(m.memoryLoad, 100);
    EXPECT_FALSE(userName().empty());
    EXPECT_FALSE(userFullName().empty());
    EXPECT_NE(osDescription().find("Linux"), std::string::npos);
    EXPECT_GE(cpuCount(), 1);
}
