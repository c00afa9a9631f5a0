// TZip against the peer tools: every archive it makes must pass `unzip -t` and `7zz t` and
// extract byte-equal; updates and deletes keep the other entries as they were; a move
// deletes only what was written; an interrupted job leaves the old archive alone.
#include "archive/zip/zip_writer.h"

#include "archive/codec/pkware_crypt.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kv::test::TempDir;

std::string sh(const std::string& cmd, int* status = nullptr) {
    std::string out;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    char buf[65536];
    size_t n;
    while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int rc = p ? pclose(p) : -1;
    if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}
bool have(const std::string& tool) {
    int st = 1;
    sh("command -v " + tool + " >/dev/null", &st);
    return st == 0;
}
std::string q(const std::string& s) { return "'" + s + "'"; }

std::string bytes(size_t n, uint32_t seed, bool text) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = text ? char("abc de\nfghij"[rng() % 12]) : char(rng());
    return s;
}

// Both peers test the archive, and unzip extracts it equal to the source tree.
void expectPeersAccept(const std::string& zip, const std::string& srcRoot, const std::string& password = {}) {
    int st = 1;
    const std::string pw = password.empty() ? "" : " -P " + q(password);
    std::string out = sh("unzip -t" + pw + " " + q(zip), &st);
    EXPECT_EQ(st, 0) << out;
    if (have("7zz")) {
        out = sh("7zz t -p" + q(password) + " " + q(zip), &st);
        EXPECT_EQ(st, 0) << out;
    }
    const std::string into = zip + ".out";
    fs::remove_all(into);
    out = sh("unzip -qq -o" + pw + " " + q(zip) + " -d " + q(into), &st);
    EXPECT_EQ(st, 0) << out;
    out = sh("diff -r --no-dereference " + q(srcRoot) + " " +
                 q(into + "/" + fs::path(srcRoot).filename().string()),
             &st);
    EXPECT_EQ(st, 0) << out;
}

void setUp(kv::TZip& z, const std::string& archive, std::vector<std::string> spec) {
    z.FileAttribute.setFtHidden(true);
    z.RecurseDirs = true;
    z.FileSpecList = std::move(spec);
    z.setArchiveFile(archive);
}
bool addOnce(const std::string& archive, std::vector<std::string> spec) {
    kv::TZip z;
    setUp(z, archive, std::move(spec));
    return z.Activate();
}

void makeTree(const TempDir& t) {
    t.dir("src/sub/deeper");
    t.file("src/readme.txt", bytes(200000, 1, true));
    t.file("src/empty", "");
    t.file("src/sub/random.bin", bytes(150000, 2, false));
    t.file("src/sub/deeper/Ünïcødé имя.txt", "names in UTF-8\n");
    t.file("src/.dot", "hidden too\n");
    fs::create_symlink("readme.txt", t / "src/link");
}

TEST(ZipWriter, EveryMethodAndLevelPassesThePeers) {
    if (!have("unzip")) GTEST_SKIP() << "unzip is not installed";
    TempDir t;
    makeTree(t);
    struct Case {
        const char* name;
        kv::TCompressMethod method;
        int level;
        const char* password;
    };
    const Case cases[] = {
        {"store", kv::TCompressMethod::cmStore, 7, ""},
        {"level 1", kv::TCompressMethod::cmDeflate, 1, ""},
        {"level 2", kv::TCompressMethod::cmDeflate, 2, ""},
        {"level 7", kv::TCompressMethod::cmDeflate, 7, ""},
        {"level 9", kv::TCompressMethod::cmDeflate, 9, ""},
        {"encrypted deflate", kv::TCompressMethod::cmDeflate, 7, "s3cret"},
        {"encrypted store", kv::TCompressMethod::cmStore, 7, "pässword"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string zip = t / (std::string(c.name) + ".zip");
        kv::TZip z;
        setUp(z, zip, {t / "src"});
        z.setCompressMethod(c.method);
        z.setLevel(c.level);
        z.Password = c.password;
        ASSERT_TRUE(z.Activate()) << z.LastError;
        expectPeersAccept(zip, t / "src", c.password);
        const std::string listing = sh("unzip -Z " + q(zip));
        EXPECT_NE(listing.find("unx"), std::string::npos) << "made on Unix, with the mode";
    }
}

TEST(ZipWriter, EmptyFileIsStoredWithCrcZeroAndNamesAreRelativeToTheScan) {
    if (!have("unzip")) GTEST_SKIP();
    TempDir t;
    t.dir("A/B");
    t.file("A/B/X.TXT", "x");
    t.file("A/zero", "");
    kv::TZip z;
    setUp(z, t / "a.zip", {t / "A/*"});
    std::vector<std::string> begun;
    z.OnBegin = [&](kv::TZipCommon&, const std::string& fn, int, bool&) { begun.push_back(fn); };
    ASSERT_TRUE(z.Activate());
    EXPECT_EQ(begun, (std::vector<std::string>{"zero", "B/X.TXT"}));
    const std::string v = sh("unzip -Zv " + q(t / "a.zip"));
    const size_t zero = v.find("zero");
    ASSERT_NE(zero, std::string::npos);
    EXPECT_NE(v.find("compression method:                             none (stored)", zero),
              std::string::npos)
        << v;
    EXPECT_NE(v.find("32-bit CRC value (hex):                         00000000", zero), std::string::npos)
        << v;
}

TEST(ZipWriter, UpdateKeepsOtherEntriesAndSkipsUnchangedFiles) {
    if (!have("unzip")) GTEST_SKIP();
    TempDir t;
    makeTree(t);
    const std::string zip = t / "u.zip";
    ASSERT_TRUE(addOnce(zip, {t / "src"}));
    const std::string before = sh("unzip -Zl " + q(zip) + " | grep random.bin");

    // Nothing changed: no entry is begun, the archive file is not replaced.
    struct stat st0 {};
    ::stat(zip.c_str(), &st0);
    kv::TZip same;
    setUp(same, zip, {t / "src"});
    int begins = 0;
    same.OnBegin = [&](kv::TZipCommon&, const std::string&, int, bool&) { ++begins; };
    EXPECT_FALSE(same.Activate());
    EXPECT_EQ(same.LastError, kv::msg::NothingToDo);
    EXPECT_EQ(begins, 0);
    struct stat st1 {};
    ::stat(zip.c_str(), &st1);
    EXPECT_EQ(st0.st_ino, st1.st_ino);

    // One file changes: only it is written again, asked through OnReplaceFile.
    t.file("src/readme.txt", "changed\n");
    kv::TZip upd;
    setUp(upd, zip, {t / "src"});
    std::vector<std::string> asked, begun;
    upd.OnReplaceFile = [&](kv::TZip&, const std::string& fn, const kv::TDateTime&, const kv::TDateTime&,
                            uint64_t, uint64_t newSize, uint32_t, uint32_t, bool& replace) {
        asked.push_back(fn);
        EXPECT_EQ(newSize, 8u);
        EXPECT_TRUE(replace);
    };
    upd.OnBegin = [&](kv::TZipCommon&, const std::string& fn, int, bool&) { begun.push_back(fn); };
    ASSERT_TRUE(upd.Activate());
    EXPECT_EQ(asked, (std::vector<std::string>{"src/readme.txt"}));
    EXPECT_EQ(begun, asked);
    EXPECT_EQ(sh("unzip -Zl " + q(zip) + " | grep random.bin"), before);
    expectPeersAccept(zip, t / "src");

    // A replacement that is refused keeps the old entry.
    t.file("src/readme.txt", "changed again\n");
    kv::TZip keep;
    setUp(keep, zip, {t / "src/readme.txt"});
    keep.StoredDirNames = kv::TStoredDirNames::sdAbsolute;
    keep.OnReplaceFile = [&](kv::TZip&, const std::string&, const kv::TDateTime&, const kv::TDateTime&,
                             uint64_t, uint64_t, uint32_t, uint32_t, bool& replace) { replace = false; };
    keep.Activate();
    EXPECT_EQ(sh("unzip -p " + q(zip) + " src/readme.txt"), "changed\n");
}

TEST(ZipWriter, DeleteKeepsTheRestAndRemovesAnArchiveLeftEmpty) {
    if (!have("unzip")) GTEST_SKIP();
    TempDir t;
    makeTree(t);
    const std::string zip = t / "d.zip";
    ASSERT_TRUE(addOnce(zip, {t / "src"}));
    const std::string kept = sh("unzip -Zl " + q(zip) + " | grep random.bin");

    kv::TZip del;
    setUp(del, zip, {"src/readme.txt", "*.dot"});
    del.Switch = kv::TSwitch::swDelete;
    ASSERT_TRUE(del.Activate());
    const std::string names = sh("unzip -Z1 " + q(zip));
    EXPECT_EQ(names.find("readme.txt"), std::string::npos);
    EXPECT_EQ(names.find(".dot"), std::string::npos);
    EXPECT_NE(names.find("src/link"), std::string::npos);
    EXPECT_EQ(sh("unzip -Zl " + q(zip) + " | grep random.bin"), kept);
    int st = 1;
    sh("unzip -t " + q(zip), &st);
    EXPECT_EQ(st, 0);

    kv::TZip all;
    setUp(all, zip, {"*"});
    all.Switch = kv::TSwitch::swDelete;
    EXPECT_TRUE(all.Activate());
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_EQ(all.ArchiveFile(), "");

    kv::TZip missing;
    setUp(missing, zip, {"*"});
    missing.Switch = kv::TSwitch::swDelete;
    EXPECT_FALSE(missing.Activate());
    EXPECT_EQ(missing.LastError, kv::msg::NothingToDo);
}

TEST(ZipWriter, DeletingAnEncryptedEntryNeedsItsPassword) {
    TempDir t;
    t.file("a.txt", "secret a");
    t.file("b.txt", "secret b");
    const std::string zip = t / "e.zip";
    kv::TZip w;
    setUp(w, zip, {t / "*.txt"});
    w.Password = "right";
    ASSERT_TRUE(w.Activate());
    const std::string before = t.read("e.zip");

    // One wrong password in 256 passes the encryption header's check byte: the wrong one
    // given here is such a one, and it must still be refused.
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = v << 8 | uint8_t(before[at + i]);
        return v;
    };
    ASSERT_EQ(le(0, 4), 0x04034b50u);
    const size_t headerAt = 30 + le(26, 2) + le(28, 2);
    const uint8_t check = (le(6, 2) & 8) ? uint8_t(le(10, 2) >> 8) : uint8_t(le(14, 4) >> 24);
    std::string lucky;
    for (int i = 0; lucky.empty() && i < 100000; ++i) {
        const std::string pw = "wrong" + std::to_string(i);
        if (kv::codec::pkwareHeaderFits(
                std::span<const uint8_t, 12>(reinterpret_cast<const uint8_t*>(before.data() + headerAt), 12), pw,
                check))
            lucky = pw;
    }
    ASSERT_FALSE(lucky.empty());

    kv::TZip wrong;
    setUp(wrong, zip, {"a.txt"});
    wrong.Switch = kv::TSwitch::swDelete;
    int asked = 0;
    wrong.OnGetPassword = [&](kv::TZipCommon&, const std::string&, std::string& pw, bool& again) {
        ++asked;
        pw = lucky;
        again = true;
    };
    EXPECT_FALSE(wrong.Activate());
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(t.read("e.zip"), before);

    kv::TZip right;
    setUp(right, zip, {"a.txt"});
    right.Switch = kv::TSwitch::swDelete;
    right.Passwords = {"nope", "right"};
    EXPECT_TRUE(right.Activate());
    if (have("unzip")) {
        EXPECT_EQ(sh("unzip -Z1 " + q(zip)), "b.txt\n");
    }
#ifdef KVARC
    // The command line: without -p or with a wrong one it says so and keeps the archive.
    const std::string left = t.read("e.zip");
    int st = 0;
    const std::string kvarc = std::string(KVARC) + " d " + q(zip) + " b.txt";
    EXPECT_NE(sh(kvarc + " 2>&1", &st).find("Invalid password"), std::string::npos);
    EXPECT_EQ(st, 2);
    sh(kvarc + " -p nope 2>&1", &st);
    EXPECT_EQ(st, 2);
    EXPECT_EQ(t.read("e.zip"), left);
    sh(kvarc + " -p right 2>&1", &st);
    EXPECT_EQ(st, 0);
    EXPECT_FALSE(std::filesystem::exists(zip)) << "the archive left empty is removed";
#endif
}

TEST(ZipWriter, MoveDeletesOnlyTheFilesWritten) {
    TempDir t;
    t.dir("m");
    t.file("m/one", "1");
    t.file("m/two", "2");
    t.file("m/vetoed", "3");
    kv::TZip z;
    setUp(z, t / "m.zip", {t / "m/*"});
    z.Switch = kv::TSwitch::swMove;
    z.OnBegin = [](kv::TZipCommon&, const std::string& fn, int, bool& go) { go = fn != "vetoed"; };
    ASSERT_TRUE(z.Activate());
    EXPECT_FALSE(fs::exists(t / "m/one"));
    EXPECT_FALSE(fs::exists(t / "m/two"));
    EXPECT_TRUE(fs::exists(t / "m/vetoed"));
    EXPECT_EQ(z.DeletedFiles.size(), 2u);
}

TEST(ZipWriter, MissingSourceAndUnwritableArchiveAreReported) {
    TempDir t;
    kv::TZip none;
    setUp(none, t / "n.zip", {t / "no-such-file"});
    EXPECT_FALSE(none.Activate());
    EXPECT_FALSE(fs::exists(t / "n.zip"));

    t.file("ro.zip", "not a zip at all");
    kv::TZip notZip;
    setUp(notZip, t / "ro.zip", {t / "ro.zip"});
    EXPECT_FALSE(notZip.Activate());
    EXPECT_EQ(notZip.LastError, kv::msg::StreamError);
    EXPECT_EQ(t.read("ro.zip"), "not a zip at all");  // never overwritten
}

// The old archive survives a writer killed in the middle of its job.
TEST(ZipWriter, KilledJobLeavesTheOldArchiveIntact) {
#ifndef KVARC
    GTEST_SKIP() << "needs kvarc";
#else
    TempDir t;
    t.file("small", "small");
    const std::string zip = t / "k.zip";
    ASSERT_TRUE(addOnce(zip, {t / "small"}));
    const std::string before = t.read("k.zip");
    t.file("big", bytes(40 << 20, 5, true));
    const pid_t pid = fork();
    if (pid == 0) {
        execl(KVARC, KVARC, "a", zip.c_str(), (t / "big").c_str(), "-9", static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(400000);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the job ended before it could be killed";
    EXPECT_EQ(t.read("k.zip"), before);
#endif
}

// 70 000 entries need ZIP64 counts.
TEST(ZipWriter, ManyEntriesGetZip64Counts) {
    if (!have("unzip")) GTEST_SKIP();
    TempDir t;
    t.dir("many");
    for (int i = 0; i < 70000; ++i) std::ofstream(t / ("many/f" + std::to_string(i))) << i;
    kv::TZip z;
    setUp(z, t / "many.zip", {t / "many"});
    ASSERT_TRUE(z.Activate());
    int st = 1;
    const std::string out = sh("unzip -tqq " + q(t / "many.zip"), &st);
    EXPECT_EQ(st, 0) << out.substr(0, 2000);
    if (have("7zz")) {
        const std::string o7 = sh("7zz t " + q(t / "many.zip") + " | tail -5", &st);
        EXPECT_EQ(st, 0) << o7;
        EXPECT_NE(o7.find("Files: 70000"), std::string::npos) << o7;
    }
}

// A 5 GB sparse file needs ZIP64 sizes and offsets. Slow: run with KV_BIG_TESTS=1.
TEST(ZipWriter, HugeFileGetsZip64Sizes) {
    if (!getenv("KV_BIG_TESTS")) GTEST_SKIP() << "set KV_BIG_TESTS=1";
    TempDir t;
    struct statvfs vfs {};
    if (statvfs(t.path().c_str(), &vfs) != 0 || uint64_t(vfs.f_bavail) * vfs.f_frsize < (6ull << 30))
        GTEST_SKIP() << "not enough disk";
    t.dir("huge");
    t.file("huge/head", "first");
    { std::ofstream f(t / "huge/sparse"); }
    ASSERT_EQ(truncate((t / "huge/sparse").c_str(), off_t(5) << 30), 0);
    std::ofstream(t / "huge/tail", std::ios::app) << "after the big one";
    kv::TZip z;
    setUp(z, t / "huge.zip", {t / "huge"});
    z.setCompressMethod(kv::TCompressMethod::cmStore);
    ASSERT_TRUE(z.Activate());
    int st = 1;
    std::string out = sh("unzip -tqq " + q(t / "huge.zip"), &st);
    EXPECT_EQ(st, 0) << out;
    if (have("7zz")) {
        out = sh("7zz t " + q(t / "huge.zip"), &st);
        EXPECT_EQ(st, 0) << out;
    }
    EXPECT_EQ(sh("unzip -p " + q(t / "huge.zip") + " huge/tail"), "after the big one");
}

}  // namespace
