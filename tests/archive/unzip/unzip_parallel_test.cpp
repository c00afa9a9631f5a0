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
        Outcome serial = extract(archive, t.path() / ("serial-" + tag), "1", mask);
        EXPECT_GT(serial.extracted, 20);
        EXPECT_GT(serial.failed, 5);
        // The machine's own choice of workers, and three even on a machine of fewer cores.
        for (int workers : {-1, 3}) {
            SCOPED_TRACE(workers);
            const std::string dir = "parallel-" + tag + std::to_string(workers);
            Outcome parallel = extract(archive, t.path() / dir, nullptr, mask, workers);
            EXPECT_EQ(parallel.events, serial.events);
            EXPECT_EQ(parallel.tree, serial.tree);
            EXPECT_EQ(parallel.extracted, serial.extracted);
            EXPECT_EQ(parallel.failed, serial.failed);
            EXPECT_TRUE(treeDifference(t.path() / ("serial-" + tag), t.path() / dir).empty());
        }
    }
}

}  // namespace
}  // namespace kv::unzip_test
