// Damaged and hostile archives: every reader must stop inside the file, quickly, with the
// message that says what is wrong. Each case patches a good fixture or builds a small file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/base/crc.h"
#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

const std::string kRoot = KV_TEST_DATA "/archives/";

void append(Bytes& b, std::initializer_list<uint32_t> le32s) {
    for (uint32_t v : le32s)
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void appendStr(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }

// A one-entry stored ZIP written by hand, so names of any length can be tried.
Bytes makeZip(const std::string& name, const std::string& data) {
    Bytes z;
    uint32_t crc = kv::crc32({reinterpret_cast<const uint8_t*>(data.data()), data.size()});
    auto header = [&](bool central) {
        append(z, {central ? 0x02014B50u : 0x04034B50u});
        if (central) put16(z, (z.resize(z.size() + 2), z.size() - 2), 20);
        Bytes h(24);
        h[0] = 20;                // version needed
        put32(h, 6, 0x2A430000);  // 2001-02-03 00:00
        put32(h, 10, crc);
        put32(h, 14, uint32_t(data.size()));
        put32(h, 18, uint32_t(data.size()));
        put16(h, 22, uint16_t(name.size()));
        z.insert(z.end(), h.begin(), h.end());
        if (central) {
            Bytes rest(16, 0);  // extra, comment, disk, attributes, local offset 0
            z.insert(z.end(), rest.begin(), rest.end());
        } else {
            z.push_back(0);
            z.push_back(0);  // extra length
        }
        appendStr(z, name);
    };
    header(false);
    appendStr(z, data);
    size_t cd = z.size();
    header(true);
    size_t cdSize = z.size() - cd;
    append(z, {0x06054B50u, 0});
    put16(z, (z.resize(z.size() + 2), z.size() - 2), 1);
    put16(z, (z.resize(z.size() + 2), z.size() - 2), 1);
    append(z, {uint32_t(cdSize), uint32_t(cd)});
    z.push_back(0);
    z.push_back(0);
    return z;
}

size_t zipCentral(const Bytes& z) { return get32(z, z.size() - 22 + 16); }

// The header after the ARJ main header.
size_t arjFirstFile(const Bytes& a) { return 4 + get16(a, 2) + 4 + 2; }
// After a field of the ARJ header at `at` was changed: its CRC made right again.
void fixArjCrc(Bytes& a, size_t at) {
    size_t size = get16(a, at + 2);
    put32(a, at + 4 + size, kv::crc32(std::span<const uint8_t>(a.data() + at + 4, size)));
}

struct Case {
    const char* what;
    std::string file;                    // fixture to start from ("" = built)
    std::string ext;                     // name of the damaged copy ends so
    std::function<void(Bytes&)> damage;  // changes the bytes
    int error;                           // expected message id
    int entries = 0;                     // entries still listed before the damage, exactly
};

// Test names and failure messages show the case's description, not its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class DamagedInput : public ::testing::TestWithParam<Case> {};

TEST_P(DamagedInput, StopsWithTheRightMessage) {
    const Case& c = GetParam();
    TempDir dir;
    Bytes b = c.file.empty() ? Bytes{} : readFile(kRoot + c.file);
    c.damage(b);
    std::string path = dir / ("damaged" + c.ext);
    writeFile(path, b);
    auto t0 = std::chrono::steady_clock::now();
    Listing l = listArchive(path, true);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_FALSE(l.ok) << c.what;
    EXPECT_EQ(l.error, c.error) << c.what;
    EXPECT_EQ(int(l.entries.size()), c.entries) << c.what;
    EXPECT_LT(secs, 2.0) << c.what;
}

const Case kCases[] = {
    {"zip: directory offset and size both wrong", "zip/stored.zip", ".zip",
     [](Bytes& b) {
         put32(b, b.size() - 22 + 16, 0x7FFFFFF0);
         put32(b, b.size() - 22 + 12, 0x10);
     },
     kv::msg::HeaderIdError},
    {"zip: end record cut off", "zip/stored.zip", ".zip", [](Bytes& b) { b.resize(b.size() - 10); },
     kv::msg::HeaderIdError},
    {"zip: name length runs past the end", "zip/stored.zip", ".zip",
     [](Bytes& b) { put16(b, zipCentral(b) + 28, 0xFFFF); }, kv::msg::ReadError},
    {"zip: central header cut in the middle of the directory", "zip/stored.zip", ".zip",
     [](Bytes& b) {
         size_t cd = zipCentral(b);
         b.erase(b.begin() + long(cd) + 20, b.end() - 22);
         put32(b, b.size() - 22 + 16, uint32_t(cd));
     },
     kv::msg::BadFileHeader},
    {"zip: not a zip at all", "uue/readme.uue", ".zip", [](Bytes&) {}, kv::msg::HeaderIdError},
    {"arj: header cut short", "arj/m0.arj", ".arj", [](Bytes& b) { b.resize(arjFirstFile(b) + 20); },
     kv::msg::ReadError},
    {"arj: basic header size past the end", "arj/m0.arj", ".arj",
     [](Bytes& b) {
         put16(b, arjFirstFile(b) + 2, 2600);
         b.resize(arjFirstFile(b) + 100);
     },
     kv::msg::ReadError},
    {"arj: compressed size past the end", "arj/m0.arj", ".arj",
     [](Bytes& b) {
         put32(b, arjFirstFile(b) + 16, 0x7FFFFFFF);
         fixArjCrc(b, arjFirstFile(b));
     },
     kv::msg::ReadError, 1},
    {"arj: header CRC does not match (a damaged size)", "arj/m0.arj", ".arj",
     [](Bytes& b) { b[arjFirstFile(b) + 16] ^= 0x01; }, kv::msg::HeaderCrcError},
    {"arj: main header CRC does not match", "arj/m0.arj", ".arj", [](Bytes& b) { b[8] ^= 0x01; },
     kv::msg::HeaderCrcError},
    {"arj: wrong header id", "arj/m0.arj", ".arj", [](Bytes& b) { b[arjFirstFile(b)] = 0x61; },
     kv::msg::BadFileHeader},
    {"lha: packed size past the end", "lha/lh5-l2.lzh", ".lzh", [](Bytes& b) { put32(b, 7, 0x7FFFFFFF); },
     kv::msg::ReadError, 1},
    {"lha: extended header too short to hold itself", "lha/lh5-l2.lzh", ".lzh",
     [](Bytes& b) { put16(b, 24, 1); }, kv::msg::BadFileHeader},
    {"lha: level 0 header sum does not match (a damaged size)", "lha/lh5-l0.lzh", ".lzh",
     [](Bytes& b) { b[7] ^= 0x01; }, kv::msg::HeaderCrcError},
    {"lha: cut inside the first header", "lha/lh5-l0.lzh", ".lzh", [](Bytes& b) { b.resize(12); },
     kv::msg::ReadError},
    {"lha: header names more bytes than the file has", "lha/lh5-l0.lzh", ".lzh",
     [](Bytes& b) {
         b[0] = 250;
         b.resize(100);
     },
     kv::msg::ReadError},
    {"rar: block header shorter than a block", "rar/sharpcompress/Rar2.rar", ".rar",
     [](Bytes& b) { put16(b, 20 + 5, 3); }, kv::msg::BadFileHeader},
    {"rar: data size past the end", "rar/sharpcompress/Rar2.rar", ".rar",
     [](Bytes& b) { put32(b, 20 + 7, 0x7FFFFFFF); }, kv::msg::ReadError, 1},
    {"rar: cut inside a block header", "rar/sharpcompress/Rar2.rar", ".rar", [](Bytes& b) { b.resize(24); },
     kv::msg::ReadError},
    {"rar5: header size larger than the file", "rar/rarfile/rar5-subdirs.rar", ".rar",
     [](Bytes& b) {
         b[12] = 0xFF;
         b[13] = 0xFF;
         b[14] = 0x7F;
     },
     kv::msg::BadFileHeader},
    {"rar5: data size wraps the offset around", "rar/rarfile/rar5-subdirs.rar", ".rar",
     [](Bytes& b) {
         // A main header claiming data of 2^64 - 1 bytes.
         Bytes h = {0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01};
         Bytes blk = {0, 0, 0, 0, uint8_t(h.size())};
         blk.insert(blk.end(), h.begin(), h.end());
         b.insert(b.begin() + 8, blk.begin(), blk.end());
     },
     kv::msg::BadFileHeader},
    {"rar5: cut before the end-of-archive header", "rar/rarfile/rar5-subdirs.rar", ".rar",
     [](Bytes& b) { b.resize(b.size() - 8); }, kv::msg::ReadError, 10},
    {"zoo: entry chain points back at itself", "zoo/patool/t.zoo", ".zoo",
     [](Bytes& b) {
         uint32_t first = get32(b, 24);
         put32(b, first + 6, first);
     },
     kv::msg::BadFileHeader},
    {"arc: packed size past the end", "arc/stored.arc", ".arc", [](Bytes& b) { put32(b, 15, 0x7FFFFFFF); },
     kv::msg::ReadError, 1},
    {"arc: no end mark", "arc/stored.arc", ".arc", [](Bytes& b) { b.resize(b.size() - 2); },
     kv::msg::ReadError, 3},
    {"tar: second header checksum wrong", "tar/ustar.tar", ".tar", [](Bytes& b) { b[1024] ^= 1; },
     kv::msg::HeaderCrcError, 1},
    {"tar: size past the end", "tar/ustar.tar", ".tar",
     [](Bytes& b) {
         std::string size = "77777777777";
         std::copy(size.begin(), size.end(), b.begin() + 124);
         uint32_t sum = 0;
         for (int i = 0; i < 512; ++i) sum += (i >= 148 && i < 156) ? ' ' : b[i];
         char chk[8];
         std::snprintf(chk, sizeof chk, "%06o", sum);
         std::copy(chk, chk + 7, b.begin() + 148);
     },
     kv::msg::ReadError},  // a size past the archive's end is not shown
    {"cab: file records past the end", "cab/mszip.cab", ".cab", [](Bytes& b) { put32(b, 16, 0x7FFFFFF0); },
     kv::msg::ReadError},
    {"cab: wrong signature", "cab/mszip.cab", ".cab", [](Bytes& b) { b[0] = 'N'; }, kv::msg::BadFileHeader},
    {"gzip: shorter than header and trailer", "gzip/readme.txt.gz", ".gz", [](Bytes& b) { b.resize(12); },
     kv::msg::UnexpectedEof},
    {"uue: no begin line", "", ".uue", [](Bytes& b) { appendStr(b, "just text\nbegin-base64 644 x\n"); },
     kv::msg::NoBeginLine},
    {"ha: count promises more than the file holds", "", ".ha",
     [](Bytes& b) {
         appendStr(b, "HA");
         b.push_back(5);
         b.push_back(0);
         b.push_back(0x20);
         append(b, {100, 100, 0, 0});
         appendStr(b, "dir");
         b.push_back(0);
     },
     kv::msg::ReadError},
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    std::string s = info.param.what;
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(Readers, DamagedInput, ::testing::ValuesIn(kCases), caseName);

TEST(HostileNames, ZeroLengthAnd64KNamesList) {
    TempDir dir;
    std::string longName(65535, 'n');
    for (const std::string& name : {std::string(), longName}) {
        writeFile(dir / "n.zip", makeZip(name, "data"));
        Listing l = listArchive(dir / "n.zip");
        EXPECT_TRUE(l.ok) << name.size();
        ASSERT_EQ(l.entries.size(), 1u);
        EXPECT_EQ(l.entries[0].name, name);
        EXPECT_EQ(l.entries[0].size, 4u);
    }
}

TEST(ZipNames, DosCodePagesAndUtf8) {
    TempDir dir;
    const std::string cyrillic866 = "\x8F\xE0\xA8\xA2\xA5\xE2.txt";  // "Привет.txt" in CP866
    writeFile(dir / "dos.zip", makeZip(cyrillic866, "x"));
    writeFile(dir / "utf8.zip", makeZip("caf\xC3\xA9\\sub\\x.txt", "x"));
    struct {
        const char* file;
        kv::TNameCodePage cp;
        const char* name;
    } rows[] = {
        {"dos.zip", kv::TNameCodePage::cp866, "\u041F\u0440\u0438\u0432\u0435\u0442.txt"},
        {"dos.zip", kv::TNameCodePage::cp437, "\u00C5\u03B1\u00BF\u00F3\u00D1\u0393.txt"},
        {"utf8.zip", kv::TNameCodePage::cp866, "caf\u00E9/sub/x.txt"},  // valid UTF-8 stays
    };
    for (auto& r : rows) {
        kv::TKelmo k;
        k.NameCodePage = r.cp;
        std::string got;
        k.OnRead = [&](kv::TZipCommon& s, int64_t, int) { got = s.FileName; };
        k.setArchiveFile(dir / r.file);
        EXPECT_TRUE(k.Activate());
        EXPECT_EQ(got, r.name) << r.file;
    }
}

TEST(ZipNames, EndRecordFoundBehindALongComment) {
    TempDir dir;
    // 40 000 bytes of comment: more than the old 32 KiB search window, less than the format's
    // 65 535 limit; and one at that limit.
    for (size_t len : {size_t(1000), size_t(40000), size_t(65535)}) {
        Bytes z = makeZip("a.txt", "data");
        put16(z, z.size() - 2, uint16_t(len));
        z.resize(z.size() + len, 'c');
        writeFile(dir / "c.zip", z);
        Listing l = listArchive(dir / "c.zip");
        EXPECT_TRUE(l.ok) << len;
        EXPECT_EQ(l.entries.size(), 1u) << len;
        EXPECT_EQ(l.comment.size(), len);
    }
}

// A level-2 LHA entry written by hand: base header, a file-name extended header, the data.
void appendLha2(Bytes& b, const std::string& name, const std::string& method, size_t dataSize, char fill) {
    Bytes h(26, 0);
    uint16_t ext = uint16_t(1 + name.size() + 2);
    put16(h, 0, uint16_t(26 + ext));
    std::copy(method.begin(), method.end(), h.begin() + 2);
    put32(h, 7, uint32_t(dataSize));
    put32(h, 11, uint32_t(dataSize));
    put32(h, 15, 981173106);
    h[19] = 0x20;
    h[20] = 2;
    h[23] = 'U';
    put16(h, 24, ext);
    b.insert(b.end(), h.begin(), h.end());
    b.push_back(0x01);
    appendStr(b, name);
    b.push_back(0);
    b.push_back(0);
    b.resize(b.size() + dataSize, uint8_t(fill));
}

TEST(LargeArchives, HeadersAcrossReadBlocksStayIntact) {
    // The second header starts 24 bytes before a 256 KiB boundary, so its extended header is
    // read from the next block; the data behind it is large enough to refill the whole buffer.
    TempDir dir;
    Bytes b;
    appendLha2(b, "a.bin", "-lh0-", (256u << 10) - 24 - (26 + 8), 'A');
    ASSERT_EQ(b.size(), (256u << 10) - 24);
    appendLha2(b, "b.bin", "-lh5-", 600u << 10, 'Z');
    b.push_back(0);
    writeFile(dir / "big.lzh", b);
    Listing l = listArchive(dir / "big.lzh");
    EXPECT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[1].name, "b.bin");
    EXPECT_EQ(l.entries[1].methodName, "Frozen-5");
    EXPECT_EQ(l.entries[1].size, 600u << 10);
}

TEST(CabinetSets, ASetThatNamesItselfStops) {
    TempDir dir;
    // The first cabinet of a two-part set, copied under the second one's name too: the
    // "second" cabinet names itself as the next one.
    Bytes p1 = readFile(kRoot + "cab/libarchive/test_read_format_cab_multi.p1.cab");
    writeFile(dir / "test_read_format_cab_multi.p1.cab", p1);
    writeFile(dir / "test_read_format_cab_multi.p2.cab", p1);
    Listing l = listArchive(dir / "test_read_format_cab_multi.p1.cab");
    EXPECT_EQ(l.error, kv::msg::CabWrongSet);
    // Without the second cabinet the volume request fails and says which file is missing.
    fs::remove(dir.path / "test_read_format_cab_multi.p2.cab");
    Listing cut = listArchive(dir / "test_read_format_cab_multi.p1.cab");
    EXPECT_EQ(cut.error, kv::msg::FileNotFound);
    EXPECT_EQ(cut.entries.size(), 1u);
}

// No fixture exists for HA and BH: small archives built here check every field we read.
TEST(HandMadeFormats, HaAndBh) {
    TempDir dir;
    Bytes ha;
    appendStr(ha, "HA");
    ha.push_back(2);
    ha.push_back(0);
    for (auto [type, name, data] :
         {std::tuple{uint8_t(0x20), "a.txt", "hello"}, std::tuple{uint8_t(0x22), "b.bin", "xy"}}) {
        ha.push_back(type);
        append(ha, {uint32_t(std::strlen(data)), 10, 0x12345678u, 981173106u});  // 2001-02-03 04:05:06 UTC
        appendStr(ha, "docs");
        ha.push_back(0xFF);
        appendStr(ha, "old");
        ha.push_back(0);
        appendStr(ha, name);
        ha.push_back(0);
        ha.push_back(1);  // machine information: one byte
        ha.push_back(0x20);
        appendStr(ha, data);
    }
    writeFile(dir / "x.ha", ha);
    Listing l = listArchive(dir / "x.ha");
    EXPECT_EQ(l.type, kv::atHA);
    EXPECT_TRUE(l.ok) << l.error;
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].name, "docs/old/a.txt");
    EXPECT_EQ(l.entries[0].packed, 5u);
    EXPECT_EQ(l.entries[0].size, 10u);
    EXPECT_EQ(l.entries[0].crc, 0x12345678u);
    EXPECT_EQ(l.entries[0].methodName, "Cpy");
    EXPECT_EQ(l.entries[1].methodName, "HSC");

    Bytes bh;
    for (auto [name, data, flags] : {std::tuple{"ONE.TXT", "12345", 0}, std::tuple{"TWO.TXT", "abc", 1}}) {
        Bytes h(37, 0);
        h[0] = 'B';
        h[1] = 'H';
        h[2] = 5;
        h[3] = 7;
        h[4] = 37;
        h[9] = uint8_t(flags);
        h[10] = 2;
        put32(h, 11, 0x2A432086);  // 2001-02-03 04:04:12
        put32(h, 15, uint32_t(std::strlen(data)));
        put32(h, 19, 99);
        put32(h, 23, 0xCAFEBABE);
        put32(h, 27, 0x20);
        put16(h, 33, uint16_t(std::strlen(name)));
        bh.insert(bh.end(), h.begin(), h.end());
        appendStr(bh, name);
        appendStr(bh, data);
    }
    writeFile(dir / "x.bh", bh);
    l = listArchive(dir / "x.bh");
    EXPECT_EQ(l.type, kv::atBH);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[1].name, "TWO.TXT");
    EXPECT_EQ(l.entries[1].packed, 3u);
    EXPECT_EQ(l.entries[1].size, 99u);
    EXPECT_EQ(l.entries[1].crc, 0xCAFEBABEu);
    EXPECT_TRUE(l.entries[1].encrypted);
    EXPECT_FALSE(l.entries[0].encrypted);
    EXPECT_EQ(l.entries[0].methodName, "Deflate");
    EXPECT_EQ(kv::formatDateTime(l.entries[0].date), "03.02.2001 04:04");
}

}  // namespace
