// Arbitrary bytes as a .zip file, extracted for real into a fresh folder inside a box, with
// two properties beyond "no crash": nothing is ever made outside the target folder (no
// file beside it, no link inside leading out), and the lister and the extractor agree on
// whether the directory was read whole and, when it was, on how many files it holds. The
// job runs serially and again with decode-ahead workers; both runs must agree.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "archive/kelmo/kelmo.h"
#include "extract_fuzz_job.h"
#include "archive/unzip/un_zip.h"

namespace fs = std::filesystem;
using kvfuzz::check;
using kvfuzz::linkLeadsOut;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path box = fs::temp_directory_path() / ("kv-extract-fuzz-" + std::to_string(::getpid()));
    static const fs::path archive =
        fs::temp_directory_path() / ("kv-extract-fuzz-" + std::to_string(::getpid()) + ".zip");
    std::error_code ec;
    fs::remove_all(box, ec);
    fs::create_directories(box / "out");
    std::FILE* f = std::fopen(archive.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    kv::TKelmo lister;
    int listed = 0;
    lister.OnRead = [&](kv::TZipCommon&, int64_t, int) { ++listed; };
    lister.setArchiveFile(archive.string());
    const bool isZip = lister.ArcType() == kv::atZIP;
    if (!isZip) return 0;
    const bool listedWhole = lister.Activate() && lister.LastError == 0;

    // The same job twice: on the job's thread alone, and with two workers decoding ahead.
    // Both must leave the same tree and the same tallies.
    struct Run {
        int extracted, failed, seen, lastError;
        bool whole;
    };
    auto run = [&](const fs::path& dir, int workers) {
        kv::TUnZIP zip;
        zip.DecodeAheadWorkers = workers;
        zip.setArchiveFile(archive.string());
        zip.setExtractDir(dir.string());
        zip.Passwords = {"a", "secret"};
        zip.Activate();
        return Run{zip.ExtractedCount, zip.FailedCount, zip.FilesSeen, zip.LastError, zip.DirectoryComplete};
    };
    const Run serial = run(box / "out", 0);
    fs::create_directories(box / "ahead");
    const Run ahead = run(box / "ahead", 2);
    if (serial.lastError != kv::msg::DiskFull) {
        check(listedWhole == serial.whole, "lister and extractor disagree on reading the directory whole");
        if (listedWhole && serial.whole)
            check(listed == serial.seen, "lister and extractor disagree on the file count");
    }
    if (serial.lastError != kv::msg::DiskFull && ahead.lastError != kv::msg::DiskFull) {
        check(serial.extracted == ahead.extracted && serial.failed == ahead.failed &&
                  serial.seen == ahead.seen && serial.whole == ahead.whole,
              "decoding ahead changed the job's tallies");
        check(kvfuzz::treeOf(box / "out") == kvfuzz::treeOf(box / "ahead"),
              "decoding ahead changed what was extracted");
    }
    size_t beside = 0;
    for (auto& e : fs::directory_iterator(box))
        beside += e.path().filename() != "out" && e.path().filename() != "ahead";
    check(beside == 0, "something was made beside the target folder");
    check(!linkLeadsOut(box / "out") && !linkLeadsOut(box / "ahead"), "a link inside the target leads out");
    fs::remove_all(box, ec);
    return 0;
}
