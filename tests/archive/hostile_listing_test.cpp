// Archives crafted to make a lister loop, multiply its output, wander off to other files or
// wait forever, and archives that announce more than they hold. Each listing runs in a
// child process under an alarm, so a regression fails the test instead of hanging it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

const std::string kRoot = KV_TEST_DATA "/archives/";

// What a listing did, gathered in the child and sent back through a pipe.
struct Outcome {
    bool finished = false;  // false: still running when the alarm struck
    bool ok = false;
    int error = 0;
    uint64_t entries = 0, nameBytes = 0;
    double seconds = 0;
};

Outcome listGuarded(const std::string& path, unsigned limitSeconds = 10) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        alarm(limitSeconds);
        kv::TKelmo k;
        k.ShowBlankDirs = true;
        Outcome o;
        k.OnRead = [&](kv::TZipCommon& s, int64_t, int) {
            ++o.entries;
            o.nameBytes += s.FileName.size();
        };
        k.setArchiveFile(path);
        o.ok = k.Activate();
        o.error = k.LastError;
        o.finished = true;
        ssize_t n = write(fds[1], &o, sizeof o);
        _exit(n == ssize_t(sizeof o) ? 0 : 1);
    }
    close(fds[1]);
    Outcome o;
    if (read(fds[0], &o, sizeof o) != ssize_t(sizeof o)) o = Outcome{};
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return o;
}

// kvarc l on the same file must fail too (exit 2), not print a listing that looks whole.
void expectKvarcFails(const std::string& path) {
#ifdef KVARC
    int st = 0;
    run("timeout 10 " + std::string(KVARC) + " l " + shellQuote(path) + " >/dev/null 2>&1", &st);
    EXPECT_EQ(st, 2) << path;
#else
    (void)path;
#endif
}

void appendStr(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }
void append32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    put32(b, b.size() - 4, v);
}
void append16(Bytes& b, uint16_t v) {
    b.resize(b.size() + 2);
    put16(b, b.size() - 2, v);
}

// --- Small writers of crafted archives --------------------------------------------------

// One TAR header; size12 is the 12-byte size field as stored.
Bytes tarHeader(const std::string& name, const Bytes& size12) {
    Bytes h(512, 0);
    std::copy(name.begin(), name.end(), h.begin());
    std::string mode = "0000644";
    std::copy(mode.begin(), mode.end(), h.begin() + 100);
    std::copy(size12.begin(), size12.end(), h.begin() + 124);
    std::string mtime = "13702533740";
    std::copy(mtime.begin(), mtime.end(), h.begin() + 136);
    h[156] = '0';
    uint32_t sum = 0;
    for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : h[i];
    char chk[8];
    std::snprintf(chk, sizeof chk, "%06o", sum);
    std::copy(chk, chk + 7, h.begin() + 148);
    return h;
}

// An ARC record of 29 bytes (method 30 is a folder, whose entries follow it).
void appendArcRecord(Bytes& b, uint8_t method, const std::string& name, uint32_t packed) {
    Bytes h(29, 0);
    h[0] = 0x1A;
    h[1] = method;
    std::copy(name.begin(), name.end(), h.begin() + 2);
    put32(h, 15, packed);
    put16(h, 19, 0x5121);  // 2020-09-01
    put32(h, 25, packed);
    b.insert(b.end(), h.begin(), h.end());
    b.resize(b.size() + packed, 'x');
}

// ARC folders nested depth deep, one file at the bottom, every folder closed again.
Bytes nestedArc(int depth) {
    Bytes b;
    for (int i = 0; i < depth; ++i) appendArcRecord(b, 30, "FOLDER" + std::to_string(i % 10), 0);
    appendArcRecord(b, 2, "FILE.TXT", 3);
    for (int i = 0; i < depth; ++i) {
        b.push_back(0x1A);
        b.push_back(31);
    }
    b.push_back(0x1A);
    b.push_back(0);
    return b;
}

// A cabinet of stored 4-byte files in one folder. announced is the file count the header
// gives (-1: the real one); next names the next cabinet of the set.
Bytes makeCab(const std::vector<std::string>& names, const std::string& next = {}, int announced = -1) {
    Bytes b(36, 0);
    put32(b, 0, 0x4643534D);  // "MSCF"
    b[24] = 3;
    b[25] = 1;
    put16(b, 26, 1);
    put16(b, 28, uint16_t(announced < 0 ? int(names.size()) : announced));
    put16(b, 30, next.empty() ? 0 : 2);
    if (!next.empty()) {
        appendStr(b, next);
        b.push_back(0);
        appendStr(b, "disk 2");
        b.push_back(0);
    }
    size_t folder = b.size();
    b.resize(b.size() + 8);
    put16(b, folder + 4, 1);  // one data block, stored
    put32(b, 16, uint32_t(b.size()));
    for (size_t i = 0; i < names.size(); ++i) {
        append32(b, 4);
        append32(b, uint32_t(4 * i));
        append16(b, 0);
        append16(b, 0x5121);
        append16(b, 0);
        append16(b, 0x20);
        appendStr(b, names[i]);
        b.push_back(0);
    }
    put32(b, folder, uint32_t(b.size()));
    append32(b, 0);
    append16(b, uint16_t(4 * names.size()));
    append16(b, uint16_t(4 * names.size()));
    for (size_t i = 0; i < names.size(); ++i) appendStr(b, "data");
    put32(b, 8, uint32_t(b.size()));
    return b;
}

// A level-2 LHA archive of one stored entry whose name sits in an extended header.
Bytes lhaWithName(const std::string& name) {
    Bytes h(26, 0);
    uint16_t ext = uint16_t(1 + name.size() + 2);
    put16(h, 0, uint16_t(26 + ext));
    std::string method = "-lh0-";
    std::copy(method.begin(), method.end(), h.begin() + 2);
    put32(h, 15, 1600000000);
    h[19] = 0x20;
    h[20] = 2;
    h[23] = 'U';
    put16(h, 24, ext);
    h.push_back(0x01);
    appendStr(h, name);
    h.push_back(0);
    h.push_back(0);
    h.push_back(0);  // end mark
    return h;
}

// An HA archive of one empty entry under path/.
Bytes haWithName(const std::string& path, const std::string& name) {
    Bytes b;
    appendStr(b, "HA");
    append16(b, 1);
    b.push_back(0x20);
    for (uint32_t v : {0u, 0u, 0u, 1600000000u}) append32(b, v);
    appendStr(b, path);
    b.push_back(0);
    appendStr(b, name);
    b.push_back(0);
    b.push_back(0);
    return b;
}

// --- Walks that never end or multiply the input -----------------------------------------

struct Crafted {
    const char* what;
    std::string fileName;
    std::function<Bytes()> make;
    bool ok;           // the listing succeeds
    int error;         // else: the message id it ends with
    uint64_t entries;  // entries listed, exactly
};
void PrintTo(const Crafted& c, std::ostream* os) { *os << c.what; }

class CraftedArchive : public ::testing::TestWithParam<Crafted> {};

TEST_P(CraftedArchive, EndsQuicklyWithBoundedOutput) {
    const Crafted& c = GetParam();
    TempDir dir;
    Bytes b = c.make();
    std::string path = dir / c.fileName;
    writeFile(path, b);
    Outcome o = listGuarded(path);
    ASSERT_TRUE(o.finished) << "the listing did not end";
    EXPECT_LT(o.seconds, 5.0);
    EXPECT_EQ(o.ok, c.ok);
    EXPECT_EQ(o.error, c.ok ? 0 : c.error);
    EXPECT_EQ(o.entries, c.entries);
    // Names never add up to much more than the file: no walk repeats or multiplies it.
    EXPECT_LE(o.nameBytes, 4096 + 100 * b.size());
    if (!c.ok) expectKvarcFails(path);
}

const Crafted kCrafted[] = {
    {"tar: base-256 size of 2^64-512 wraps the next header onto itself", "wrap.tar",
     [] {
         Bytes size12(12, 0);
         size12[0] = 0x80;
         for (int i = 4; i < 12; ++i) size12[i] = 0xFF;
         size12[10] = 0xFE;
         size12[11] = 0x00;
         Bytes b = tarHeader("loop.bin", size12);
         b.resize(b.size() + 1024, 0);
         return b;
     },
     false, kv::msg::BadFileHeader, 0},  // a size past 2^63 is damage, never shown
    {"tar: base-256 size wider than 64 bits", "wide.tar",
     [] {
         Bytes size12(12, 0xFF);
         size12[0] = 0xBF;
         Bytes b = tarHeader("wide.bin", size12);
         b.resize(b.size() + 1024, 0);
         return b;
     },
     false, kv::msg::BadFileHeader, 0},  // a size past 2^63 is damage, never shown
    {"arc: folders nested 20000 deep are refused", "deep.arc", [] { return nestedArc(20000); }, false,
     kv::msg::TooManyNestedDirs, 64},
    {"arc: folders nested 64 deep still list", "deep64.arc", [] { return nestedArc(64); }, true, 0, 65},
    {"lha: a 4097-byte name is refused", "long.lzh", [] { return lhaWithName(std::string(4097, 'n')); },
     false, kv::msg::InvalidFileName, 0},
    {"lha: a 4096-byte name lists", "limit.lzh", [] { return lhaWithName(std::string(4096, 'n')); }, true, 0,
     1},
    {"ha: path and name longer than 4096 bytes together are refused", "long.ha",
     [] { return haWithName(std::string(3000, 'd'), std::string(3000, 'n')); }, false,
     kv::msg::InvalidFileName, 0},
    {"ha: a path of 64 KiB is refused", "path.ha", [] { return haWithName(std::string(70000, 'd'), "n"); },
     false, kv::msg::InvalidFileName, 0},
    {"cab: counts more files than its records hold", "more.cab",
     [] {
         return makeCab({"a.txt", "b.txt"}, {}, 3);
     },
     false, kv::msg::ReadError, 2},
    {"cab: cabinet size larger than the file", "cut.cab",
     [] {
         Bytes b = makeCab({"a.txt", "b.txt"});
         b.resize(b.size() - 4);
         return b;
     },
     false, kv::msg::ReadError, 0},
    {"cab: a whole cabinet lists", "whole.cab",
     [] {
         return makeCab({"a.txt", "b.txt"});
     },
     true, 0, 2},
    {"cab: next cabinet named as itself", "self.cab", [] { return makeCab({"a.txt"}, "self.cab"); }, false,
     kv::msg::CabWrongSet, 1},
    {"cab: next cabinet named as itself through ./", "dot.cab",
     [] { return makeCab({"a.txt"}, "./dot.cab"); }, false, kv::msg::InvalidFileName, 1},
    {"ha: count promises a second entry the file lacks", "short.ha",
     [] {
         Bytes b = haWithName("d", "n");
         put16(b, 2, 2);
         return b;
     },
     false, kv::msg::ReadError, 1},
};

std::string craftedName(const ::testing::TestParamInfo<Crafted>& info) {
    std::string s = info.param.what;
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(Listers, CraftedArchive, ::testing::ValuesIn(kCrafted), craftedName);

// --- Cabinet sets that point elsewhere --------------------------------------------------

TEST(CabinetSets, EachCabinetIsReadOnceAndOnlyBesideTheFirst) {
    TempDir dir;
    fs::create_directories(dir.path / "sub");
    // A good cabinet one folder up, which a "../" name would reach.
    writeFile(dir / "outside.cab", makeCab({"secret.txt"}));
    struct Row {
        const char* what;
        std::string next;
        int error;
        uint64_t entries;
    } rows[] = {
        {"climbs out with ../", "../outside.cab", kv::msg::InvalidFileName, 1},
        {"names an absolute path", (dir.path / "outside.cab").string(), kv::msg::InvalidFileName, 1},
        {"names ..", "..", kv::msg::InvalidFileName, 1},
        {"names a DOS path", "..\\outside.cab", kv::msg::InvalidFileName, 1},
        {"names a link back to itself", "link.cab", kv::msg::CabWrongSet, 1},
        {"names a second cabinet that names the first", "second.cab", kv::msg::CabWrongSet, 2},
    };
    writeFile(dir / "sub/second.cab", makeCab({"two.txt"}, "first.cab"));
    fs::create_symlink("first.cab", dir.path / "sub/link.cab");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        writeFile(dir / "sub/first.cab", makeCab({"one.txt"}, r.next));
        Outcome o = listGuarded(dir / "sub/first.cab");
        ASSERT_TRUE(o.finished);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.error, r.error);
        EXPECT_EQ(o.entries, r.entries);
    }
}

// --- FIFOs named as archives or as their next volume ------------------------------------

TEST(Fifos, RefusedAtOnceAsArchiveOrVolume) {
    struct Row {
        const char* what;
        std::string first;  // fixture copied as the first volume ("" = the FIFO is the archive)
        std::string fifo;   // name of the FIFO beside it
        uint64_t entries;   // entries listed before the FIFO is met
    } rows[] = {
        {"the archive itself", "", "pipe.zip", 0},
        {"the archive, named as a TAR", "", "pipe.tar", 0},
        {"the second ARJ volume", "arj/volumes.arj", "volumes.a01", 2},
        {"the second RAR volume", "rar/rarfile/rar3-vols1.rar", "rar3-vols2.rar", 1},
        {"the next cabinet", "cab/libarchive/test_read_format_cab_multi.p1.cab",
         "test_read_format_cab_multi.p2.cab", 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TempDir dir;
        std::string fifo = dir / r.fifo;
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::string archive = fifo;
        if (!r.first.empty()) {
            archive = dir / fs::path(r.first).filename().string();
            fs::copy_file(kRoot + r.first, archive);
        }
        Outcome o = listGuarded(archive, 5);
        ASSERT_TRUE(o.finished) << "blocked on the FIFO";
        EXPECT_LT(o.seconds, 3.0);
        EXPECT_FALSE(o.ok);
        EXPECT_NE(o.error, 0);
        EXPECT_LE(o.entries, r.entries);
        expectKvarcFails(archive);
    }
}

// --- Archives cut before their end marker -----------------------------------------------

// The positions of a ZOO archive's entries, following the chain from the archive header.
std::vector<size_t> zooChain(const Bytes& b) {
    std::vector<size_t> out;
    for (size_t at = get32(b, 24); at + 10 <= b.size() && out.size() < 1000; at = get32(b, at + 6)) {
        out.push_back(at);
        if (get32(b, at + 6) == 0) break;
    }
    return out;
}

TEST(CutArchives, ZooWithoutItsClosingEntryIsAnError) {
    TempDir dir;
    Bytes whole = readFile(kRoot + "zoo/patool/t.zoo");
    std::vector<size_t> chain = zooChain(whole);
    ASSERT_GE(chain.size(), 2u);
    Listing full = listArchive(kRoot + "zoo/patool/t.zoo");
    ASSERT_TRUE(full.ok);
    ASSERT_EQ(full.entries.size(), chain.size() - 1);  // the last link is the closing entry

    Bytes cut = whole;
    cut.resize(chain.back());  // everything before the closing entry
    writeFile(dir / "cut.zoo", cut);
    Bytes far = whole;
    put32(far, chain[chain.size() - 2] + 6, uint32_t(whole.size() + 100));  // last link points past the end
    writeFile(dir / "far.zoo", far);
    for (const char* name : {"cut.zoo", "far.zoo"}) {
        SCOPED_TRACE(name);
        Outcome o = listGuarded(dir / name);
        ASSERT_TRUE(o.finished);
        EXPECT_FALSE(o.ok);
        EXPECT_EQ(o.error, kv::msg::ReadError);
        EXPECT_EQ(o.entries, full.entries.size());
        expectKvarcFails(dir / name);
    }
}

}  // namespace
