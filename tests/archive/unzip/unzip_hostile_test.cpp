// TUnZIP and kvarc against archives made by hand the way an attacker would: link chains
// that climb out, link targets with NUL bytes, temporary names that already exist, sizes
// near 2^64, directories that lie, and entries that would pass by unreported.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "archive/base/extract_target.h"
#include "archive/base/messages.h"
#include "archive/kelmo/kelmo.h"
#include "archive/unzip/un_zip.h"
#include "test_unzip_util.h"

namespace kv::unzip_test {
namespace {

void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xffff);
    put16(v, x >> 16);
}
void put64(std::vector<uint8_t>& v, uint64_t x) {
    put32(v, uint32_t(x));
    put32(v, uint32_t(x >> 32));
}
void set32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}

// Where the n-th central record starts in a ZIP made by makeZip.
size_t centralRecord(const std::vector<uint8_t>& z, int n) {
    for (size_t i = 0; i + 4 <= z.size(); ++i)
        if (z[i] == 0x50 && z[i + 1] == 0x4B && z[i + 2] == 1 && z[i + 3] == 2 && n-- == 0) return i;
    throw std::runtime_error("no such central record");
}

struct Outcome {
    int extracted = 0, failed = 0, lastError = 0;
    bool incomplete = false;
    std::vector<int> errors;
    std::vector<std::string> errorNames;  // the name each error was given with
};

Outcome extract(const fs::path& archive, const fs::path& dir, std::function<void(TUnZIP&)> tune = {}) {
    TUnZIP zip;
    Outcome o;
    zip.OnError = [&](TZipCommon&, const std::string& fn, const std::string&, const std::string&, int id) {
        o.errors.push_back(id);
        o.errorNames.push_back(fn);
    };
    zip.setArchiveFile(archive.string());
    zip.setExtractDir(dir.string());
    if (tune) tune(zip);
    if (dir.empty())
        zip.Test();
    else
        zip.Activate();
    o.extracted = zip.ExtractedCount;
    o.failed = zip.FailedCount;
    o.lastError = zip.LastError;
    o.incomplete = zip.DirectoryIncomplete;
    return o;
}

// Many central records sharing one local header, with a ZIP64 packed size near 2^64 that
// made "data end" wrap around: the overlap check must see them.
std::vector<uint8_t> wrappingBomb(int copies, uint64_t declaredSize) {
    std::vector<uint8_t> z;
    const std::string name = "bomb.bin";
    std::vector<uint8_t> data(64, 'A');
    put32(z, 0x04034B50);
    put16(z, 45), put16(z, 0), put16(z, 0), put32(z, 0), put32(z, 0);
    put32(z, 0xFFFFFFFF), put32(z, 0xFFFFFFFF);
    put16(z, uint16_t(name.size())), put16(z, 0);
    z.insert(z.end(), name.begin(), name.end());
    z.insert(z.end(), data.begin(), data.end());
    const uint32_t cdOffset = uint32_t(z.size());
    std::vector<uint8_t> cd;
    for (int i = 0; i < copies; ++i) {
        std::string n = "bomb" + std::to_string(i) + ".bin";
        put32(cd, 0x02014B50);
        put16(cd, 45), put16(cd, 45), put16(cd, 0), put16(cd, 0), put32(cd, 0), put32(cd, 0);
        put32(cd, 0xFFFFFFFF), put32(cd, 0xFFFFFFFF);
        put16(cd, uint16_t(n.size())), put16(cd, 20), put16(cd, 0), put16(cd, 0), put16(cd, 0);
        put32(cd, 0), put32(cd, 0);
        cd.insert(cd.end(), n.begin(), n.end());
        put16(cd, 1), put16(cd, 16);
        put64(cd, declaredSize);
        put64(cd, ~uint64_t(0) - 200);  // packed: data end wraps to just before the header
    }
    z.insert(z.end(), cd.begin(), cd.end());
    put32(z, 0x06054B50);
    put16(z, 0), put16(z, 0), put16(z, uint16_t(copies)), put16(z, uint16_t(copies));
    put32(z, uint32_t(cd.size())), put32(z, cdOffset), put16(z, 0);
    return z;
}

TEST(UnzipHostile, SizesNearTwoToTheSixtyFourNeitherWrapNorAmplify) {
    TempDir t;
    writeFile(t.path() / "bomb.zip", wrappingBomb(10, 64));
    Outcome o = extract(t.path() / "bomb.zip", t.path() / "out");
    EXPECT_EQ(o.extracted, 0);
    EXPECT_EQ(o.failed, 10);
    EXPECT_TRUE(fs::is_empty(t.path() / "out"));

    // Declared sizes far beyond any disk: refused before anything is written.
    writeFile(t.path() / "huge.zip", wrappingBomb(8, uint64_t(1) << 60));
    Outcome h = extract(t.path() / "huge.zip", t.path() / "out2");
    EXPECT_EQ(h.lastError, msg::DiskFull);
    EXPECT_EQ(h.errorNames, std::vector<std::string>{"out2"});  // the folder that lacks room
    EXPECT_EQ(h.extracted + h.failed, 0);
    EXPECT_TRUE(fs::is_empty(t.path() / "out2"));
}

// The lister and the extractor find the same directory by the same rules.
TEST(UnzipHostile, ListerAndExtractorAgreeOnTheDirectory) {
    // The first entry's data looks like a central record of its own, near the end.
    std::vector<uint8_t> fake = makeZip({{"fake.txt", bytes("not really")}});
    fake.erase(fake.begin(), fake.begin() + ptrdiff_t(centralRecord(fake, 0)));
    auto entries = std::vector<HandEntry>{{"a.txt", bytes("alpha")}, {"b.txt", fake}};
    auto listed = [](const fs::path& p, int& error) {
        TKelmo k;
        int n = 0;
        k.OnRead = [&](TZipCommon&, int64_t, int) { ++n; };
        k.setArchiveFile(p.string());
        k.Activate();
        error = k.LastError;
        return n;
    };
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        int entries;  // what both must see
    };
    const std::vector<Case> cases = {
        {"eight junk bytes before the directory",
         [](std::vector<uint8_t>& z) {
             const size_t end = z.size() - 22;
             const size_t cd = z[end + 16] | z[end + 17] << 8;  // the real one, not the fake in b's data
             z.insert(z.begin() + ptrdiff_t(cd), 8, 0xEE);
         },
         2},
        {"a wrong directory offset and size, with a fake directory inside an entry's data",
         [](std::vector<uint8_t>& z) {
             set32(z, z.size() - 22 + 16, 0x7FFFFFF0u);
             set32(z, z.size() - 22 + 12, 1234);
         },
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        auto z = makeZip(entries);
        c.damage(z);
        writeFile(t.path() / "a.zip", z);
        int listError = 0;
        const int n = listed(t.path() / "a.zip", listError);
        Outcome o = extract(t.path() / "a.zip", "");
        EXPECT_EQ(n, c.entries);
        EXPECT_EQ(o.extracted, c.entries) << testing::PrintToString(o.errors);
        EXPECT_EQ(listError != 0, o.lastError != 0) << listError << " " << o.lastError;
    }
}

#ifdef KV_SHARED_FIXTURES
// Inputs the extraction fuzzer found where the lister and the extractor disagreed.
TEST(UnzipHostile, FuzzFoundInputsListAndExtractAlike) {
    for (const char* name : {"zip-nul-folder-name.zip"}) {
        SCOPED_TRACE(name);
        const fs::path p = fs::path(KV_SHARED_FIXTURES) / "fuzz" / name;
        TKelmo k;
        int listed = 0;
        k.OnRead = [&](TZipCommon&, int64_t, int) { ++listed; };
        k.setArchiveFile(p.string());
        const bool whole = k.Activate();
        TUnZIP zip;
        zip.setArchiveFile(p.string());
        zip.Test();
        EXPECT_EQ(whole, zip.DirectoryComplete);
        EXPECT_EQ(listed, zip.FilesSeen);
    }
}
#endif

// A job that did not see every entry never reports success.
TEST(UnzipHostile, EntriesThatWouldPassByUnreportedAreCounted) {
    struct Case {
        const char* what;
        std::function<std::vector<uint8_t>()> make;
        int extracted, failed;
        bool incomplete;
    };
    auto three = [] {
        return makeZip({{"a.txt", bytes("a")}, {"b.txt", bytes("b")}, {"c.txt", bytes("c")}});
    };
    const std::vector<Case> cases = {
        {"a damaged central signature after the first entry",
         [&] {
             auto z = three();
             z[centralRecord(z, 1)] = 'X';
             return z;
         },
         1, 0, true},
        {"an empty stored name between two good ones",
         [] {
             return makeZip({{"a.txt", bytes("a")}, {"", bytes("hidden")}, {"c.txt", bytes("c")}});
         },
         2, 1, false},
        {"a volume-label entry that carries data",
         [&] {
             auto z = three();
             z[centralRecord(z, 1) + 38] = 0x08;
             return z;
         },
         3, 0, false},
        {"a folder entry that climbs out",
         [] {
             return makeZip({{"../up/", bytes("")}, {"a.txt", bytes("a")}});
         },
         1, 1, false},
        {"a directory announced after the end record",
         [&] {
             auto z = three();
             set32(z, z.size() - 22 + 16, uint32_t(z.size() + 100));
             set32(z, z.size() - 22 + 12, 9999);
             return z;
         },
         0, 0, false},
        {"a name longer than any path",
         [] {
             return makeZip({{std::string(5000, 'n'), bytes("x")}, {"a.txt", bytes("a")}});
         },
         1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        writeFile(t.path() / "a.zip", c.make());
        Outcome o = extract(t.path() / "a.zip", t.path() / "out");
        EXPECT_EQ(o.extracted, c.extracted);
        EXPECT_EQ(o.failed, c.failed);
        EXPECT_EQ(o.incomplete, c.incomplete);
        const bool clean = c.failed == 0 && !c.incomplete && c.extracted == 3;
        EXPECT_EQ(o.lastError == 0, clean) << o.lastError;
    }
}

#ifdef KVARC
// kvarc's exit status tells whether the archive was read whole: 0 all well, 1 some entries
// failed, 2 the archive (or its directory) could not be read to its end.
TEST(UnzipHostile, KvarcExitStatusNeverClaimsAWholeReadItDidNotMake) {
    struct Case {
        const char* what;
        std::function<std::vector<uint8_t>()> make;
        int list, test;
    };
    auto three = [] {
        return makeZip({{"a.txt", bytes("a")}, {"b.txt", bytes("b")}, {"c.txt", bytes("c")}});
    };
    const std::vector<Case> cases = {
        {"intact", three, 0, 0},
        {"damaged second central signature",
         [&] {
             auto z = three();
             z[centralRecord(z, 1)] = 'X';
             return z;
         },
         2, 2},
        {"directory announced after the end record",
         [&] {
             auto z = three();
             set32(z, z.size() - 22 + 16, uint32_t(z.size() + 100));
             set32(z, z.size() - 22 + 12, 9999);
             return z;
         },
         2, 2},
        {"an entry with an empty name",
         [] {
             return makeZip({{"a.txt", bytes("a")}, {"", bytes("hidden")}});
         },
         0, 1},
        {"one bad name among good ones",
         [] {
             return makeZip({{"../x", bytes("a")}, {"b.txt", bytes("b")}});
         },
         0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir t;
        writeFile(t.path() / "a.zip", c.make());
        const std::string p = quote(t.path() / "a.zip");
        EXPECT_EQ(run(KVARC " l " + p + " >/dev/null 2>&1"), c.list);
        EXPECT_EQ(run(KVARC " t " + p + " >/dev/null 2>&1"), c.test);
        EXPECT_EQ(run(KVARC " x " + p + " " + quote(t.path() / "out") + " >/dev/null 2>&1"), c.test);
    }
}

// A sparse archive declaring a directory of terabytes: memory stays bounded by the
// blocks read, not by what the archive declares.
TEST(UnzipHostile, HugeDeclaredDirectoryInSparseArchiveUsesLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves terabytes of address space itself";
#endif
    TempDir t;
    auto z = makeZip({{"a.txt", bytes("alpha")}});
    const size_t cd = centralRecord(z, 0);
    std::vector<uint8_t> record(z.begin() + ptrdiff_t(cd), z.end() - 22);
    std::vector<uint8_t> end(z.end() - 22, z.end());
    const fs::path p = t.path() / "sparse.zip";
    writeFile(p, std::vector<uint8_t>(z.begin(), z.begin() + ptrdiff_t(cd)));
    {
        // The directory claims 4 GiB and the archive reaches 1 TiB, nearly all of it a hole.
        const uint64_t endPos = (uint64_t(1) << 40) - 22;
        set32(end, 12, 0xFFFFFFF0u);
        set32(end, 16, uint32_t(cd));
        FILE* f = std::fopen(p.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fseek(f, long(cd), SEEK_SET);
        std::fwrite(record.data(), 1, record.size(), f);
        ASSERT_EQ(::ftruncate(fileno(f), off_t(endPos)), 0);
        std::fseek(f, long(endPos), SEEK_SET);
        std::fwrite(end.data(), 1, end.size(), f);
        std::fclose(f);
    }
    const std::string limit = "ulimit -v 524288; ";
    EXPECT_EQ(run(limit + KVARC " t " + quote(p) + " >/dev/null 2>&1"), 0);
    EXPECT_EQ(run(limit + KVARC " l " + quote(p) + " >/dev/null 2>&1"), 0);
}
#endif

}  // namespace
}  // namespace kv::unzip_test
