// The component base: checksums, dates, masks, names, volume names and the message table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "archive/base/arc_types.h"
#include "archive/base/crc.h"
#include "archive/base/date_time.h"
#include "archive/base/file_attr.h"
#include "archive/base/messages.h"
#include "archive/base/names.h"
#include "archive/base/output_sink.h"
#include "archive/base/un_base.h"
#include "archive/base/util.h"
#include "archive/unzip/un_zip.h"

using namespace kv;

namespace {
std::span<const uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
}  // namespace

TEST(ArchiveBase, CrcCheckValuesAndChunking) {
    EXPECT_EQ(crc32(bytes("123456789")), 0xCBF43926u);
    EXPECT_EQ(crc16(bytes("123456789")), 0xBB3Du);
    EXPECT_EQ(crc32(bytes("")), 0u);
    // Feeding in uneven pieces must give the same CRC as one call (the 8-byte fast path).
    std::string text(1000, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char(i * 7 + 3);
    uint32_t piecewise = 0;
    for (size_t pos = 0, step = 1; pos < text.size(); pos += step, step = step % 13 + 1)
        piecewise = crc32Update(piecewise, bytes(std::string_view(text).substr(pos, step)));
    EXPECT_EQ(piecewise, crc32(bytes(text)));
}

TEST(ArchiveBase, RatioAndPercent) {
    struct {
        uint64_t packed, unpacked;
        int ratio;
    } rows[] = {{0, 100, 0},        {50, 100, 50}, {99, 100000000, 100}, {100, 100, 0},
                {99990, 100000, 1}, {200, 100, 0}, {100, 0, 0}};
    for (auto r : rows) EXPECT_EQ(Ratio(r.packed, r.unpacked), r.ratio) << r.packed << "/" << r.unpacked;
    EXPECT_EQ(Percent(0, 10), 0);
    EXPECT_EQ(Percent(10, 0), 0);
    EXPECT_EQ(Percent(7, 7), 100);
    EXPECT_EQ(Percent(1, 3), 33);
    EXPECT_EQ(Percent(uint64_t(1) << 62, uint64_t(1) << 63), 50);
}

TEST(ArchiveBase, WildcardMatch) {
    struct {
        const char* mask;
        std::string name;
        bool nameOnly;
        bool match;
    } rows[] = {
        {"*.TXT", "readme.txt", true, true},
        {"README", "readme.", true, true},
        {"*", "", true, true},
        {"*.*", "Makefile", true, true},
        {"*.*", "sub/", true, false},  // folder entries never match a name-only mask
        {"*.txt", "sub/inner.txt", true, true},
        {"*.txt", "sub/inner.txt", false, true},
        {"sub/*.txt", "sub/inner.txt", false, true},
        {"?ello.txt", "hello.txt", true, true},
        {"h?llo.txt", "hllo.txt", true, false},
        {"*.zip", "a.zip.txt", true, false},
        {"a*b*c*d", "aXbXcXd", true, true},
        {"a*b*c*d", "aXbXcX", true, false},
        {"x", "", true, false},
        {"*a*a*a*a*a*a*a*a*a*a*b", std::string(200, 'a'), true, false},
    };
    for (auto& r : rows)
        EXPECT_EQ(wildcardMatch(r.mask, r.name, r.nameOnly), r.match) << r.mask << " vs " << r.name;
}

TEST(ArchiveBase, NextArjVolumeName) {
    int counter = 0;
    EXPECT_EQ(nextArjVolumeName("dir/X.ARJ", counter), "dir/X.A01");
    counter = 9;
    EXPECT_EQ(nextArjVolumeName("X.ARJ", counter), "X.A10");
    EXPECT_EQ(counter, 10);
    counter = 99;
    EXPECT_EQ(nextArjVolumeName("x.arj", counter), "x.100");
    counter = 0;
    EXPECT_EQ(nextArjVolumeName("d.e/x.arj", counter), "d.e/x.a01");  // case of the first kept
    counter = 999;
    EXPECT_EQ(nextArjVolumeName("X.ARJ", counter), "");
}

TEST(ArchiveBase, DosDatesAndFormatting) {
    EXPECT_EQ(dosDateTimeToDateTime(0), kDosEpoch);
    // Each field at values that need its top bits: minutes past 31 need the sixth minute bit,
    // hours past 15 the fifth hour bit, and so on.
    const struct {
        TDateTime when;
        uint32_t dos;
    } stamps[] = {
        {{2001, 2, 3, 4, 5, 6}, (21u << 25) | (2u << 21) | (3u << 16) | (4u << 11) | (5u << 5) | 3u},
        {{2024, 6, 15, 13, 45, 30}, (44u << 25) | (6u << 21) | (15u << 16) | (13u << 11) | (45u << 5) | 15u},
        {{1980, 1, 1, 0, 45, 0}, (1u << 21) | (1u << 16) | (45u << 5)},
        {{2107, 12, 31, 23, 59, 58},
         (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
    };
    for (const auto& s : stamps) {
        EXPECT_EQ(dosDateTimeToDateTime(s.dos), s.when) << formatDateTime(s.when);
        EXPECT_EQ(dateTimeToDos(s.when), s.dos) << formatDateTime(s.when);
    }
    // February 30th and hour 25 are not dates.
    EXPECT_EQ(dosDateTimeToDateTime((21u << 25) | (2u << 21) | (30u << 16)), kDosEpoch);
    EXPECT_EQ(dosDateTimeToDateTime((21u << 25) | (2u << 21) | (3u << 16) | (25u << 11)), kDosEpoch);
    EXPECT_EQ(formatDateTime(TDateTime{2001, 2, 3, 4, 5, 6}), "03.02.2001 04:05");
    EXPECT_EQ(unixTimeToDateTime(0), (TDateTime{1980, 1, 1, 0, 1, 0}));
}

TEST(ArchiveBase, DosNamesDecodeLikeIconv) {
    // Every upper-half byte must decode as iconv reads the code page.
    for (auto [cp, iconvName] :
         {std::pair{TNameCodePage::cp437, "CP437"}, std::pair{TNameCodePage::cp866, "CP866"}}) {
        std::string raw;
        for (int b = 0x80; b < 0x100; ++b) raw += char(b);
        std::string cmd = std::string("printf '");
        for (int b = 0x80; b < 0x100; ++b) {
            char o[8];
            std::snprintf(o, sizeof o, "\\%03o", b);
            cmd += o;
        }
        cmd += std::string("' | iconv -f ") + iconvName + " -t UTF-8";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_TRUE(p);
        std::string want;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) want.append(buf, n);
        pclose(p);
        EXPECT_EQ(decodeDosName(raw, cp), want) << iconvName;
    }
    EXPECT_EQ(decodeDosName("\x8E\xE0\xA8", TNameCodePage::cp866), "\xD0\x9E\xD1\x80\xD0\xB8");
    // Valid UTF-8 stays as it is, whatever the code page.
    EXPECT_EQ(decodeDosName("caf\xC3\xA9", TNameCodePage::cp437), "caf\xC3\xA9");
    EXPECT_EQ(presentName("DIR\\SUB\\A.TXT", TNameCodePage::cp437), "DIR/SUB/A.TXT");
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));      // overlong "/"
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));      // cut short
}

TEST(ArchiveBase, ComposeOutputName) {
    TUnZIP c;  // any extractor: the frame itself is abstract
    struct {
        const char* stored;
        const char* dir;
        bool stored_dirs;
        const char* out;
    } rows[] = {
        {"C:\\DATA\\A.TXT", "/out", true, "/out/DATA/A.TXT"},
        {"C:\\DATA\\A.TXT", "/out/", false, "/out/A.TXT"},
        {"/etc/passwd", "/out", true, "/out/etc/passwd"},
        {"C:x.txt", "/out", true, "/out/x.txt"},
        {"../../x", "/out", true, ""},
        {"a/../../x", "/out", true, ""},
        {"a/..", "/out", true, ""},
        {"dir/", "/out", true, ""},
        {"", "/out", true, ""},
        {"a/b..c/x", "/out", true, "/out/a/b..c/x"},
    };
    for (auto& r : rows) EXPECT_EQ(c.composeOutputName(r.stored, r.dir, r.stored_dirs), r.out) << r.stored;
}

TEST(ArchiveBase, PropertiesAndRecords) {
    TUnZIP c;
    c.setZipCmntBufSize(100);
    EXPECT_EQ(c.ZipCmntBufSize(), 2000);
    c.setZipCmntBufSize(100000);
    EXPECT_EQ(c.ZipCmntBufSize(), 32767);
    c.setFileSpec("");
    EXPECT_EQ(c.FileSpec(), "*.*");
    c.setArchiveFile("");
    EXPECT_EQ(c.ArcType(), atNA);
    c.setArchiveFile("/nonexistent/korvalen/x.zip");
    EXPECT_EQ(c.ArcType(), atFileOpenErr);
    c.setExtractDir("/tmp/out");
    EXPECT_EQ(c.ExtractDir(), "/tmp/out/");

    TkelFileAttr a;
    EXPECT_EQ(a.Attr(), 33);
    a.setFtHidden(true);
    a.setFtHidden(true);  // added only once
    a.setFtReadOnly(false);
    a.setFtDirectory(true);  // not part of the mask
    EXPECT_EQ(a.Attr(), 34);
    TkelFileAttr b;
    b.Assign(a);
    EXPECT_TRUE(b.ftHidden());
    EXPECT_FALSE(b.ftReadOnly());
    EXPECT_EQ(b.Attr(), 33);  // flags copied, mask not

    for (auto name : ArcTypeNames) EXPECT_EQ(name.size(), 10u);
    EXPECT_EQ(arcTypeName(atZip250Exe), "ZIP250 SFX");
    EXPECT_EQ(messageText(msg::HeaderIdError), "Header ID error");
    EXPECT_EQ(messageText(26011), "All_UUEs (*.uue,*.xxe,*.enc)|*.uue;*.xxe;*.enc");
    EXPECT_EQ(messageText(25101), "");
    E_RAISE e(msg::MaxVolumes);
    EXPECT_STREQ(e.what(), "Maximum volumes 999");
}

TEST(ArchiveBase, OutputSinkSelectors) {
    std::vector<uint8_t> mem;
    TOutputSink s;
    s.selector = TOutputSink::ToMemory;
    s.memory = &mem;
    EXPECT_TRUE(s.write(bytes("abc")));
    EXPECT_TRUE(s.write(bytes("de")));
    EXPECT_EQ(std::string(mem.begin(), mem.end()), "abcde");
    s.selector = TOutputSink::ToStream;
    s.stream = [](std::span<const uint8_t> d) { return d.size() - 1; };  // a short write
    EXPECT_FALSE(s.write(bytes("xy")));
    s.selector = 6;  // test mode writes nothing and succeeds
    EXPECT_TRUE(s.write(bytes("xy")));
    s.selector = TOutputSink::ToFile;  // no file open
    EXPECT_FALSE(s.write(bytes("xy")));
}
