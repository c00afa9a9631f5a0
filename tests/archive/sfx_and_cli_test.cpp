// Self-extracting archives (an archive behind a DOS program or inside a Windows one) and the
// kvarc command line.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

const std::string kRoot = KV_TEST_DATA "/archives/";

// A real (tiny) DOS program: a two-paragraph header and "mov ax,4C00h; int 21h". Its load
// image ends at its last byte, where a self-extractor's archive begins.
Bytes dosStub() {
    Bytes b = {'M', 'Z'};
    b.resize(32, 0);
    for (uint8_t c : {0xB8, 0x00, 0x4C, 0xCD, 0x21}) b.push_back(c);
    put16(b, 2, uint16_t(b.size() % 512));          // bytes on the last page
    put16(b, 4, uint16_t((b.size() + 511) / 512));  // pages
    put16(b, 8, 2);                                 // header paragraphs
    put16(b, 0x18, 0x1C);
    return b;
}

// A Windows program whose string resource 1 holds the archive's offset, as the old
// self-extractors kept it: only headers and a resource section, no code.
Bytes peWithOffsetString(uint32_t archiveOffset, size_t sizeBefore) {
    Bytes b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, 0x40);
    b[0x40] = 'P';
    b[0x41] = 'E';
    put16(b, 0x44, 0x14C);  // i386
    put16(b, 0x46, 1);      // one section
    put16(b, 0x54, 0xE0);   // optional header size
    size_t opt = 0x58;
    put16(b, opt, 0x10B);             // PE32
    put32(b, opt + 96 + 16, 0x1000);  // resource table RVA
    put32(b, opt + 96 + 20, 0x100);
    size_t sect = opt + 0xE0;
    std::memcpy(&b[sect], ".rsrc", 5);
    put32(b, sect + 8, 0x100);    // virtual size
    put32(b, sect + 12, 0x1000);  // virtual address
    put32(b, sect + 16, 0x100);   // raw size
    put32(b, sect + 20, 0x200);   // raw offset
    Bytes r(0x100, 0);
    // type 6 (strings) -> block 1 -> first language -> data entry -> the string block.
    put16(r, 14, 1);
    put32(r, 16, 6);
    put32(r, 20, 0x80000018);
    put16(r, 0x18 + 14, 1);
    put32(r, 0x18 + 16, 1);
    put32(r, 0x18 + 20, 0x80000030);
    put16(r, 0x30 + 14, 1);
    put32(r, 0x30 + 16, 0x409);
    put32(r, 0x30 + 20, 0x48);
    std::string digits = std::to_string(archiveOffset);
    Bytes block(2, 0);  // string 0 is empty
    block.push_back(uint8_t(digits.size()));
    block.push_back(0);
    for (char c : digits) {
        block.push_back(uint8_t(c));
        block.push_back(0);
    }
    block.resize(block.size() + 14 * 2, 0);  // strings 2..15 empty
    put32(r, 0x48, 0x1000 + 0x58);
    put32(r, 0x48 + 4, uint32_t(block.size()));
    std::copy(block.begin(), block.end(), r.begin() + 0x58);
    b.insert(b.end(), r.begin(), r.end());
    b.resize(sizeBefore, 0);
    return b;
}

bool sameEntries(const Listing& a, const Listing& b) {
    if (a.entries.size() != b.entries.size()) return false;
    for (size_t i = 0; i < a.entries.size(); ++i) {
        const Listed &x = a.entries[i], &y = b.entries[i];
        if (x.name != y.name || x.size != y.size || x.packed != y.packed || x.crc != y.crc) return false;
    }
    return true;
}

TEST(SelfExtractors, ZipBehindADosProgram) {
    if (!haveTool("zip")) GTEST_SKIP();
    TempDir dir;
    std::string zip = kRoot + "zip/deflate-normal.zip";
    Bytes stub = dosStub(), z = readFile(zip);
    Bytes sfx = stub;
    sfx.insert(sfx.end(), z.begin(), z.end());
    writeFile(dir / "raw.exe", sfx);
    writeFile(dir / "adjusted.exe", sfx);
    run("zip -q -A " + shellQuote(dir / "adjusted.exe"));
    Listing plain = listArchive(zip);
    for (const char* name : {"raw.exe", "adjusted.exe"}) {
        SCOPED_TRACE(name);
        Listing l = listArchive(dir / name);
        EXPECT_EQ(l.type, kv::atZipExe);
        EXPECT_EQ(l.arcStart, stub.size() + 1);
        EXPECT_TRUE(l.ok) << l.error;
        EXPECT_TRUE(sameEntries(l, plain));
        // Offsets name the local headers inside the executable.
        ASSERT_FALSE(l.entries.empty());
        EXPECT_EQ(l.entries[0].offset, int64_t(stub.size()) + plain.entries[0].offset);
    }
}

TEST(SelfExtractors, ArjBehindADosProgram) {
    TempDir dir;
    Bytes stub = dosStub(), a = readFile(kRoot + "arj/m1.arj");
    Listing plain = listArchive(kRoot + "arj/m1.arj");
    // Right at the end of the load image, and two bytes on (where the old stubs put it).
    for (size_t gap : {size_t(0), size_t(2)}) {
        Bytes sfx = stub;
        sfx.resize(sfx.size() + gap, 0x90);
        sfx.insert(sfx.end(), a.begin(), a.end());
        writeFile(dir / "arj.exe", sfx);
        Listing l = listArchive(dir / "arj.exe");
        EXPECT_EQ(l.type, kv::atArjExe) << gap;
        EXPECT_TRUE(l.ok) << l.error;
        EXPECT_TRUE(sameEntries(l, plain)) << gap;
    }
}

TEST(SelfExtractors, ZipNamedByAStringResource) {
    TempDir dir;
    const uint32_t at = 0x600;
    Bytes exe = peWithOffsetString(at, at), z = readFile(kRoot + "zip/stored.zip");
    exe.insert(exe.end(), z.begin(), z.end());
    writeFile(dir / "res.exe", exe);
    Listing l = listArchive(dir / "res.exe");
    EXPECT_EQ(l.type, kv::atZipExe);
    EXPECT_EQ(l.sfxOffset, at);
    EXPECT_EQ(l.arcStart, at + 1);
    EXPECT_TRUE(l.ok) << l.error;
    Listing plain = listArchive(kRoot + "zip/stored.zip");
    EXPECT_TRUE(sameEntries(l, plain));
    // An offset past the end of the file is no archive.
    Bytes bad = peWithOffsetString(0x7FFFFFF, 0x400);
    writeFile(dir / "bad.exe", bad);
    EXPECT_EQ(listArchive(dir / "bad.exe").type, kv::atUnknown);
}

#ifdef KVARC
TEST(Kvarc, ListTsvFormatAndExitStatus) {
    int st = -1;
    std::string out = run(std::string(KVARC) + " l --tsv " + shellQuote(kRoot + "zip/encrypted.zip"), &st);
    EXPECT_EQ(st, 0);
    auto nl = out.find('\n');
    EXPECT_EQ(out.substr(0, nl), "type\tZIP");
    std::regex row(R"(^[^\t]*\t\d+\t\d+\t[0-9a-f]{8}\t[^\t]*\t\d\d\.\d\d\.\d{4} \d\d:\d\d\t[01]$)");
    int rows = 0;
    size_t pos = nl + 1;
    while (pos < out.size()) {
        size_t e = out.find('\n', pos);
        std::string line = out.substr(pos, e - pos);
        EXPECT_TRUE(std::regex_match(line, row)) << line;
        EXPECT_EQ(line.back(), '1') << "every entry of encrypted.zip is encrypted";
        ++rows;
        pos = e + 1;
    }
    EXPECT_EQ(rows, int(listArchive(kRoot + "zip/encrypted.zip").entries.size()));

    // Folders show with "/" and the type name is trimmed.
    out = run(std::string(KVARC) + " l --tsv " + shellQuote(kRoot + "rar/rarfile/rar3-subdirs.rar"), &st);
    EXPECT_EQ(st, 0);
    EXPECT_EQ(out.substr(0, out.find('\n')), "type\tRAR");
    EXPECT_NE(out.find("\nsub/"), std::string::npos);

    // An archive that cannot be read: exit 2 and the message on standard error.
    out = run(std::string(KVARC) + " l --tsv " + shellQuote(kRoot + "zip/not-a-zip.zip") + " 2>&1", &st);
    EXPECT_EQ(st, 2);
    EXPECT_NE(out.find("Header ID error"), std::string::npos);
    out = run(std::string(KVARC) + " l /nonexistent/x.arj 2>&1", &st);
    EXPECT_EQ(st, 2);

    // The readable table names every entry and the totals.
    out = run(std::string(KVARC) + " l " + shellQuote(kRoot + "arj/m1.arj"), &st);
    EXPECT_EQ(st, 0);
    EXPECT_NE(out.find("random.bin"), std::string::npos);
    EXPECT_NE(out.find("file(s)"), std::string::npos);
}
#endif

}  // namespace
