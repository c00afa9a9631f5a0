// Archives made by Debian's zip extract to exactly what unzip writes; kvarc t/x exit codes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

// Alternating stretches of words and of noise, so both the literal and the match paths
// of the decoder are exercised; fast to make (eight noise bytes per step).
std::vector<uint8_t> mixedContent(size_t size, uint32_t seed) {
    uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
    auto next = [&x] {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        return x;
    };
    std::vector<uint8_t> out;
    out.reserve(size + 4096);
    const std::string words[] = {"panel ", "archive ", "copy ", "folder ", "the ", "of ", "\n", "Korvalen "};
    while (out.size() < size) {
        if (next() % 4 == 0) {
            for (int i = 0; i < 250; ++i) {
                uint64_t v = next();
                out.insert(out.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 8);
            }
        } else {
            for (int i = 0; i < 500; ++i) {
                const std::string& w = words[next() % std::size(words)];
                out.insert(out.end(), w.begin(), w.end());
            }
        }
    }
    out.resize(size);
    return out;
}

void makeSourceTree(const fs::path& src) {
    writeFile(src / "text.txt", mixedContent(300000, 1));
    writeFile(src / "random.bin", mixedContent(1, 2));
    std::vector<uint8_t> noise(150000);
    std::mt19937 rng(3);
    for (auto& b : noise) b = uint8_t(rng());
    writeFile(src / "noise.bin", noise);
    writeFile(src / "empty.txt", {});
    writeFile(src / "sub" / "deeper" / "deep.txt", bytes("deep inside\n"));
    writeFile(src / "a name with spaces.txt", bytes("spaces\n"));
    writeFile(src / "run.sh", bytes("#!/bin/sh\necho hi\n"));
    fs::permissions(src / "run.sh", fs::perms(0755));
    fs::create_directories(src / "empty folder");
}

fs::path kvarc() {
#ifdef KVARC
    return KVARC;
#else
    return {};
#endif
}

TEST(UnzipPeer, ZipMadeArchivesExtractLikeUnzip) {
    if (!haveTool("zip") || !haveTool("unzip")) GTEST_SKIP() << "zip/unzip not installed";
    TempDir t;
    makeSourceTree(t.path() / "src");
    const std::pair<const char*, const char*> variants[] = {
        {"store", "-0"}, {"fast", "-1"}, {"normal", "-6"}, {"best", "-9"}, {"password", "-6 -P secret"}};
    for (auto [name, options] : variants) {
        fs::path zip = t.path() / (std::string(name) + ".zip");
        ASSERT_EQ(run("cd " + quote(t.path() / "src") + " && zip -q -r " + options + " " + quote(zip) + " ."),
                  0);
        fs::path theirs = t.path() / (std::string("unzip-") + name);
        ASSERT_EQ(run("unzip -q -P secret " + quote(zip) + " -d " + quote(theirs)), 0);

        TUnZIP ours;
        ours.setArchiveFile(zip.string());
        ours.setExtractDir((t.path() / (std::string("ours-") + name)).string());
        ours.Passwords = {"secret"};
        ours.Activate();
        EXPECT_EQ(ours.FailedCount, 0) << name;
        EXPECT_EQ(treeDifference(theirs, t.path() / (std::string("ours-") + name)), "") << name;
        struct stat st;
        ASSERT_EQ(::stat((t.path() / (std::string("ours-") + name) / "run.sh").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0755u) << name;
    }
}

// A 100 MB entry through kvarc x, streamed through the window; compared with cmp.
TEST(UnzipPeer, HundredMegabyteEntry) {
    if (!haveTool("zip") || !haveTool("unzip") || kvarc().empty()) GTEST_SKIP() << "zip/unzip/kvarc missing";
    TempDir t;
    writeFile(t.path() / "src" / "big.bin", mixedContent(100u << 20, 7));
    fs::path zip = t.path() / "big.zip";
    ASSERT_EQ(run("cd " + quote(t.path() / "src") + " && zip -q -1 " + quote(zip) + " big.bin"), 0);
    fs::remove_all(t.path() / "src");
    ASSERT_EQ(run(quote(kvarc()) + " x " + quote(zip) + " " + quote(t.path() / "ours") + " >/dev/null"), 0);
    ASSERT_EQ(run("unzip -q " + quote(zip) + " -d " + quote(t.path() / "theirs")), 0);
    EXPECT_EQ(
        run("cmp -s " + quote(t.path() / "ours" / "big.bin") + " " + quote(t.path() / "theirs" / "big.bin")),
        0);
}

TEST(UnzipPeer, KvarcExitCodesAndExistingFiles) {
    if (kvarc().empty()) GTEST_SKIP() << "kvarc not built";
    TempDir t;
    const std::string k = quote(kvarc());
    writeFile(t.path() / "good.zip", makeZip({{"a.txt", bytes("alpha")}, {"b.txt", bytes("beta"), 8}}));
    writeFile(t.path() / "bad.zip",
              makeZip({{"a.txt", bytes("alpha")}, {"b.txt", bytes("beta"), 0, 0, true}}));
    writeFile(t.path() / "text.zip", bytes("not an archive"));
    EXPECT_EQ(run(k + " t " + quote(t.path() / "good.zip") + " >/dev/null"), 0);
    EXPECT_EQ(run(k + " t " + quote(t.path() / "bad.zip") + " >/dev/null"), 1);
    EXPECT_EQ(run(k + " t " + quote(t.path() / "text.zip") + " >/dev/null 2>&1"), 2);
    EXPECT_EQ(run(k + " t " + quote(t.path() / "missing.zip") + " >/dev/null 2>&1"), 2);
    // Encrypted entries test with -p; without it, or with a wrong one, they fail and say why.
    writeFile(t.path() / "pw.zip", makeZip({{"s.txt", bytes("secret"), 8, 0, false, -1, "right"}}));
    EXPECT_EQ(run(k + " t " + quote(t.path() / "pw.zip") + " -p right >/dev/null"), 0);
    EXPECT_EQ(run(k + " t " + quote(t.path() / "pw.zip") + " >/dev/null 2>&1"), 1);
    EXPECT_EQ(run(k + " t " + quote(t.path() / "pw.zip") + " -p wrong 2>&1 | grep -q 'Invalid password'"), 0);
    // A DOS name without the UTF-8 flag: CP437 by default, Cyrillic with --cp866.
    writeFile(t.path() / "dos.zip", makeZip({{"\x8F\xE0\xA8.txt", bytes("x")}}));
    EXPECT_EQ(run(k + " x " + quote(t.path() / "dos.zip") + " " + quote(t.path() / "437") + " >/dev/null"),
              0);
    EXPECT_TRUE(fs::exists(t.path() / "437" / "\xC3\x85\xCE\xB1\xC2\xBF.txt"));  // "Åα¿"
    EXPECT_EQ(
        run(k + " x " + quote(t.path() / "dos.zip") + " " + quote(t.path() / "866") + " --cp866 >/dev/null"),
        0);
    EXPECT_TRUE(fs::exists(t.path() / "866" / "\xD0\x9F\xD1\x80\xD0\xB8.txt"));  // "При"

    // Without -y an existing file is skipped and named; with -y it is replaced.
    writeFile(t.path() / "out" / "a.txt", bytes("mine"));
    fs::path log = t.path() / "log.txt";
    EXPECT_EQ(
        run(k + " x " + quote(t.path() / "good.zip") + " " + quote(t.path() / "out") + " > " + quote(log)),
        0);
    EXPECT_EQ(readAll(t.path() / "out" / "a.txt"), bytes("mine"));
    EXPECT_EQ(readAll(t.path() / "out" / "b.txt"), bytes("beta"));
    auto logged = readAll(log);
    std::string said(logged.begin(), logged.end());
    EXPECT_NE(said.find("a.txt"), std::string::npos);
    EXPECT_EQ(
        run(k + " x " + quote(t.path() / "good.zip") + " " + quote(t.path() / "out") + " -y >/dev/null"), 0);
    EXPECT_EQ(readAll(t.path() / "out" / "a.txt"), bytes("alpha"));
    EXPECT_EQ(
        run(k + " x " + quote(t.path() / "bad.zip") + " " + quote(t.path() / "out2") + " >/dev/null 2>&1"),
        1);
    // A target that is a file: one start error, exit 2, nothing written.
    EXPECT_EQ(run(k + " x " + quote(t.path() / "good.zip") + " " + quote(t.path() / "log.txt") +
                  " >/dev/null 2>&1"),
              2);
    EXPECT_EQ(readAll(log), logged);
}

// The fixtures with shrunk, reduced and imploded entries test clean through kvarc (their
// content is checked against the listed SHA-256 in the decoder tests).
TEST(UnzipPeer, FixturesTestClean) {
    if (kvarc().empty()) GTEST_SKIP() << "kvarc not built";
    const char* files[] = {"sharpcompress/Zip.shrink.zip",
                           "sharpcompress/Zip.implode.zip",
                           "sharpcompress/Zip.reduce1.zip",
                           "sharpcompress/Zip.reduce3.zip",
                           "sharpcompress/Zip.reduce4.zip",
                           "commons-compress/SHRUNK.ZIP",
                           "commons-compress/imploding-4Kdict-2trees.zip",
                           "zip2/reduce.zip",
                           "zip2/shrink.zip"};
    for (const char* f : files) {
        fs::path p = fs::path(KV_TEST_DATA) / "archives" / "zip" / f;
        EXPECT_EQ(run(quote(kvarc()) + " t " + quote(p) + " >/dev/null"), 0) << f;
    }
}

}  // namespace
}  // namespace kv::unzip_test
