// A cancel that arrives while a big entry is being written stops that entry at once: its
// partial file is removed, the file it would have replaced keeps its old content, and
// nothing after it is extracted. Zeros compress a thousandfold, so the decoder reads its
// whole input in one go and only the output side can notice the cancel in time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "archive/base/messages.h"
#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

TEST(UnzipCancel, ACancelDuringABigEntryStopsItAndKeepsTheOldFile) {
    TempDir t;
    const fs::path archive = t.path() / "big.zip";
    writeFile(archive, makeZip({HandEntry("first.txt", bytes("first\n"), 8),
                                HandEntry("zeros.bin", std::vector<uint8_t>(size_t(64) << 20), 8),
                                HandEntry("last.txt", bytes("last\n"), 8)}));
    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(threads);
        const fs::path dir = t.path() / (std::string("out-") + threads);
        fs::create_directories(dir);
        writeFile(dir / "zeros.bin", bytes("the user's own file\n"));
        ::setenv("KV_EXTRACT_THREADS", threads, 1);

        TUnZIP zip;
        bool armed = false;
        int pumpsAfterFirst = 0;
        std::vector<std::string> ended;
        zip.OnEnd = [&](TZipCommon&, const std::string& fn, bool pass) {
            ended.push_back(fs::path(fn).filename().string() + (pass ? " ok" : " failed"));
            if (fs::path(fn).filename() == "first.txt") armed = true;
        };
        zip.OnFileExists = [](TZipCommon&, const std::string&, const TDateTime&, bool& accept) {
            accept = true;
        };
        // The user presses Cancel a moment into zeros.bin: at its second event-loop pump.
        zip.OnProcessMessages = [&] {
            if (armed && ++pumpsAfterFirst == 2) zip.setCancel(true);
        };
        zip.setArchiveFile(archive.string());
        zip.setExtractDir(dir.string());
        zip.Activate();
        ::unsetenv("KV_EXTRACT_THREADS");

        EXPECT_TRUE(zip.Cancel());
        EXPECT_EQ(zip.ExtractedCount, 1);
        EXPECT_EQ(zip.FailedCount, 0) << "a cancel is not a failure";
        EXPECT_EQ(ended, (std::vector<std::string>{"first.txt ok", "zeros.bin failed"}));
        EXPECT_EQ(readAll(dir / "zeros.bin"), bytes("the user's own file\n"));
        EXPECT_FALSE(fs::exists(dir / "last.txt"));
        std::vector<std::string> names;
        for (auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "zeros.bin"})) << "no partial file is left";
    }
}

}  // namespace
}  // namespace kv::unzip_test
