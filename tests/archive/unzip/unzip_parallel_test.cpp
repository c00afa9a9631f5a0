// Extraction with entries decoded ahead on worker threads, and files placed on threads of
// their own, against the serial job, on an archive that mixes what the workers take
// (deflated entries) with what they must leave to the job (stored, encrypted, lying sizes,
// damaged data, entries the mask leaves out): the same files, the same events in the same
// order, the same failures. Names met twice, and files where a later entry wants a folder,
// must be found on disk by the later entry as the serial job finds them.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
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
    std::string failures;  // "name id" lines
    std::string tree;
};

Outcome extract(const fs::path& archive, const fs::path& dir, const char* threads, const std::string& mask,
                int workers = -1, int placers = -1, uint64_t placedOnThreadsFrom = 0) {
    if (threads)
        ::setenv("KV_EXTRACT_THREADS", threads, 1);
    else
        ::unsetenv("KV_EXTRACT_THREADS");
    Outcome o;
    TUnZIP zip;
    zip.DecodeAheadWorkers = workers;
    zip.PlacerThreads = placers;
    zip.PlacerThreadsFrom = placedOnThreadsFrom;
    // Every name met again is replaced, and said so.
    zip.OnFileExists = [&](TZipCommon&, const std::string& fn, const TDateTime&, bool& accept) {
        o.events.push_back("exists " + fs::path(fn).filename().string());
        accept = true;
    };
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
    for (const auto& f : zip.Failures) o.failures += f.name + " " + std::to_string(f.id) + "\n";
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
    // The machine's own choice of threads, and more than a machine of fewer cores would get,
    // with and without workers decoding ahead, and with only the larger files placed on a
    // thread (the others on the job's, their outcomes taken in turn with the threaded ones).
    const struct {
        int workers, placers;
        uint64_t from;
    } choices[] = {{-1, -1, 0}, {1, 0, 0}, {1, 1, 200000}, {3, 1, 0}, {0, 3, 0}};
    for (const auto& c : choices) {
        const std::string name = std::to_string(c.workers) + "-" + std::to_string(c.placers) + "-" + std::to_string(c.from);
        SCOPED_TRACE(name + " (workers, placers, placed on threads from)");
        const std::string dir = "parallel-" + tag + name;
        Outcome parallel = extract(archive, root / dir, nullptr, mask, c.workers, c.placers, c.from);
        EXPECT_EQ(parallel.events, serial.events);
        EXPECT_EQ(parallel.tree, serial.tree);
        EXPECT_EQ(parallel.extracted, serial.extracted);
        EXPECT_EQ(parallel.failed, serial.failed);
        EXPECT_EQ(parallel.failures, serial.failures);
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

// A later entry of a name still being placed (in any case of letters), or one that needs a
// folder where a file is still being placed, sees that file on disk, as the serial job
// does: the same questions, the same replaced content, the same refusals.
TEST(UnzipParallel, LaterEntriesFindTheFilesStillBeingPlaced) {
    TempDir t;
    std::vector<HandEntry> entries;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 30; ++i) {
            const std::string n = std::to_string(i);
            const std::vector<uint8_t> data(size_t(50 + i * 311 % 4000), uint8_t('a' + round));
            entries.emplace_back("dir/same" + n, data, 8);
            entries.emplace_back(round == 1 ? "dir/CASE" + n : "dir/case" + n, data, 8);
            if (i % 10 == 4) entries.emplace_back("dir/same" + n + "/under", data, 8);  // a file in the way
            if (i % 10 == 6) entries.emplace_back("dir/file" + n, data, 8);
            if (i % 10 == 6) entries.emplace_back("dir/file" + n + "/", std::vector<uint8_t>{});
        }
    const fs::path archive = t.path() / "again.zip";
    writeFile(archive, makeZip(entries));
    Outcome serial = expectSameAsSerial(archive, t.path(), "*.*", "all");
    EXPECT_GT(std::count_if(serial.events.begin(), serial.events.end(),
                            [](const std::string& e) { return e.rfind("exists same", 0) == 0; }),
              50);
    EXPECT_EQ(readAll(t.path() / "serial-all" / "dir" / "same7"), std::vector<uint8_t>(50 + 7 * 311, 'c'));
    EXPECT_GT(serial.failed, 0);  // the files under a file
}

// A file whose bytes cannot all be written (here: past the process's file size limit) is
// reported and counted as failed, leaves the file it would have replaced as it was and no
// temporary behind, with files placed on threads as on the job's own.
TEST(UnzipParallel, AFileThatCannotBeWrittenFailsAndKeepsTheOldOne) {
    TempDir t;
    const std::vector<uint8_t> big(300000, 'b');
    const fs::path archive = t.path() / "limit.zip";
    writeFile(archive, makeZip({{"a.txt", bytes("alpha"), 8},
                                {"big.bin", big, 8},
                                {"c.txt", bytes("gamma"), 8},
                                {"big2.bin", big, 0},
                                {"d.txt", bytes("delta"), 8}}));
    for (int placers : {0, 2}) {
        SCOPED_TRACE(placers);
        const fs::path dir = t.path() / ("out" + std::to_string(placers));
        fs::create_directories(dir);
        writeFile(dir / "big.bin", bytes("the user's own file\n"));
        struct rlimit old {};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 100000;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        Outcome o = extract(archive, dir, nullptr, "*.*", 0, placers);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        EXPECT_EQ(o.extracted, 3);
        EXPECT_EQ(o.failed, 2);
        EXPECT_EQ(o.failures, "big.bin " + std::to_string(msg::WriteError) + "\nbig2.bin " +
                                  std::to_string(msg::WriteError) + "\n");
        std::vector<std::string> files;
        for (size_t at = 0, nl; (nl = o.tree.find('\n', at)) != std::string::npos; at = nl + 1)
            files.push_back(o.tree.substr(at, nl - at));
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"a.txt 5", "big.bin 20", "c.txt 5", "d.txt 5"}));
        EXPECT_EQ(readAll(dir / "big.bin"), bytes("the user's own file\n"));
    }
}

}  // namespace
}  // namespace kv::unzip_test
