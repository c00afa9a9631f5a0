// Extraction with entries decoded ahead on worker threads against the serial job, on an
// archive that mixes what the workers take (deflated entries) with what they must leave
// to the job (stored, encrypted, lying sizes, damaged data, entries the mask leaves out):
// the same files, the same events in the same order, the same failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "archive/base/messages.h"
#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

struct Outcome {
    std::vector<std::string> events;  // "end name pass" and "error id", in the order given
    int extracted = 0, failed = 0;
    std::string tree;
};

Outcome extract(const fs::path& archive, const fs::path& dir, const char* threads, const std::string& mask,
                int workers = -1) {
    if (threads)
        ::setenv("KV_EXTRACT_THREADS", threads, 1);
    else
        ::unsetenv("KV_EXTRACT_THREADS");
    Outcome o;
    TUnZIP zip;
    zip.DecodeAheadWorkers = workers;
    zip.OnError = [&](TZipCommon&, const std::string&, const std::string&, const std::string&, int id) {
        o.events.push_back("error " + std::to_string(id));
    };
    zip.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) {
        o.events.push_back("end " + fs::path(fn).filename().string() + (pass ? " ok" : " failed"));
    };
    zip.Passwords.push_back("right");
    zip.setArchiveFile(archive.string());
    zip.setExtractDir(dir.string());
    zip.setFileSpec(mask);
    zip.Activate();
    ::unsetenv("KV_EXTRACT_THREADS");
    o.extracted = zip.ExtractedCount;
    o.failed = zip.FailedCount;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        o.tree += fs::relative(e.path(), dir).string();
        if (e.is_regular_file()) o.tree += " " + std::to_string(readAll(e.path()).size());
        o.tree += "\n";
    }
    return o;
}

// Extracts `archive` with and without the workers into folders under `root`; answers the
// serial outcome once the parallel one is found the same.
Outcome expectSameAsSerial(const fs::path& archive, const fs::path& root, const std::string& mask,
                           const std::string& tag) {
    Outcome serial = extract(archive, root / ("serial-" + tag), "1", mask);
    // The machine's own choice of workers, and three even on a machine of fewer cores.
    for (int workers : {-1, 3}) {
        SCOPED_TRACE(workers);
        const std::string dir = "parallel-" + tag + std::to_string(workers);
        Outcome parallel = extract(archive, root / dir, nullptr, mask, workers);
        EXPECT_EQ(parallel.events, serial.events);
        EXPECT_EQ(parallel.tree, serial.tree);
        EXPECT_EQ(parallel.extracted, serial.extracted);
        EXPECT_EQ(parallel.failed, serial.failed);
        EXPECT_TRUE(treeDifference(root / ("serial-" + tag), root / dir).empty());
    }
    return serial;
}

TEST(UnzipParallel, WorkersChangeNothingButTheSpeed) {
    TempDir t;
    std::mt19937 rng(3);
    std::vector<HandEntry> entries;
    for (int i = 0; i < 60; ++i) {
        // Text-like data of many sizes, some larger than a window, some empty.
        std::vector<uint8_t> data(size_t(i * i * 97 % 300000));
        for (auto& b : data) b = uint8_t('a' + rng() % (i % 5 == 0 ? 26 : 4));
        const std::string name =
            "d" + std::to_string(i % 4) + "/f" + std::to_string(i) + (i % 3 ? ".txt" : ".bin");
        switch (i % 10) {
            case 3: entries.emplace_back(name, data, 0); break;           // stored
            case 5: entries.emplace_back(name, data, 8, 0, true); break;  // CRC wrong
            case 7: entries.emplace_back(name, data, 8, 0, false, int64_t(data.size() / 2)); break;
            case 8: entries.emplace_back(name, data, 8, 0, false, -1, i % 20 ? "right" : "wrong"); break;
            default: entries.emplace_back(name, data, 8); break;
        }
    }
    const fs::path archive = t.path() / "mixed.zip";
    writeFile(archive, makeZip(entries));
    for (const std::string mask : {"*.*", "*.txt"}) {
        SCOPED_TRACE(mask);
        const std::string tag = mask == "*.*" ? "all" : "txt";
        Outcome serial = expectSameAsSerial(archive, t.path(), mask, tag);
        EXPECT_GT(serial.extracted, 20);
        EXPECT_GT(serial.failed, 5);
    }
}

// More entries than the workers may hold ahead (and, when the job falls behind on the big
// ones, more bytes): they stop, are woken as the job takes entries and go on, losing and
// reordering nothing.
TEST(UnzipParallel, WorkersWaitForRoomAndGoOn) {
    TempDir t;
    std::vector<HandEntry> entries;
    for (int i = 0; i < 240; ++i) {
        // Seven entries of 7 MB close together, 49 MB against the 32 MB held ahead.
        const bool big = i > 10 && i < 40 && i % 4 == 1;
        std::vector<uint8_t> data(big ? (7u << 20) : size_t(100 + i * 37 % 5000));
        for (size_t k = 0; k < data.size(); ++k) data[k] = uint8_t('a' + (k * 7 + k / 4096 + i) % 13);
        entries.emplace_back("f" + std::to_string(i), data, i % 50 == 9 ? 0 : 8);
    }
    const fs::path archive = t.path() / "many.zip";
    writeFile(archive, makeZip(entries));
    Outcome serial = expectSameAsSerial(archive, t.path(), "*.*", "all");
    EXPECT_EQ(serial.extracted, 240);
    EXPECT_EQ(serial.failed, 0);
}

}  // namespace
}  // namespace kv::unzip_test
