// kvarc prints names and comments that come from the archive: control characters in them are
// escaped, so an archive cannot drive the terminal or forge rows of the --tsv output.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "archive/base/crc.h"
#include "fixture_util.h"

using namespace kvtest;

namespace {

#ifdef KVARC

struct StoredEntry {
    std::string name, data;
};

void append16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void append32(Bytes& b, uint32_t v) {
    append16(b, uint16_t(v));
    append16(b, uint16_t(v >> 16));
}
void appendText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// A ZIP of stored entries whose names are UTF-8 (general flag bit 11) and an archive comment.
Bytes storedZip(const std::vector<StoredEntry>& entries, const std::string& comment) {
    Bytes zip, central;
    for (const StoredEntry& e : entries) {
        const uint32_t offset = uint32_t(zip.size());
        const uint32_t crc = kv::crc32({reinterpret_cast<const uint8_t*>(e.data.data()), e.data.size()});
        const uint32_t size = uint32_t(e.data.size());
        const uint16_t nameLen = uint16_t(e.name.size());
        append32(zip, 0x04034B50);
        for (uint16_t v : {uint16_t(10), uint16_t(0x0800), uint16_t(0), uint16_t(0), uint16_t(0x5A21)})
            append16(zip, v);
        for (uint32_t v : {crc, size, size}) append32(zip, v);
        append16(zip, nameLen);
        append16(zip, 0);
        appendText(zip, e.name);
        appendText(zip, e.data);

        append32(central, 0x02014B50);
        for (uint16_t v :
             {uint16_t(0x031E), uint16_t(10), uint16_t(0x0800), uint16_t(0), uint16_t(0), uint16_t(0x5A21)})
            append16(central, v);
        for (uint32_t v : {crc, size, size}) append32(central, v);
        for (uint16_t v : {nameLen, uint16_t(0), uint16_t(0), uint16_t(0), uint16_t(0)}) append16(central, v);
        append32(central, 0100644u << 16);
        append32(central, offset);
        appendText(central, e.name);
    }
    const uint32_t centralAt = uint32_t(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    append32(zip, 0x06054B50);
    for (uint16_t v : {uint16_t(0), uint16_t(0), uint16_t(entries.size()), uint16_t(entries.size())})
        append16(zip, v);
    append32(zip, uint32_t(central.size()));
    append32(zip, centralAt);
    append16(zip, uint16_t(comment.size()));
    appendText(zip, comment);
    return zip;
}

// A direction control or a line separator in UTF-8 (U+061C, U+200E/200F, U+2028..202E,
// U+2066..2069): the text after it is drawn reordered, so "invoice<RLO>txt.exe" reads as
// "invoiceexe.txt".
bool directionControlAt(const std::string& s, size_t i) {
    const auto b = [&](size_t k) { return i + k < s.size() ? uint8_t(s[i + k]) : 0; };
    if (b(0) == 0xD8 && b(1) == 0x9C) return true;
    if (b(0) != 0xE2) return false;
    return (b(1) == 0x80 && (b(2) == 0x8E || b(2) == 0x8F || (b(2) >= 0xA8 && b(2) <= 0xAE))) ||
           (b(1) == 0x81 && b(2) >= 0xA6 && b(2) <= 0xA9);
}

// The first byte a terminal would act on: a C0 control other than the line ends kept
// between lines (and TAB where it separates --tsv fields), DEL, a C1 control in UTF-8, or
// a direction control.
std::string firstRawControl(const std::string& out, bool tabsAllowed) {
    for (size_t i = 0; i < out.size(); ++i) {
        if (directionControlAt(out, i)) return "direction control at " + std::to_string(i) + " in: " + out;
        const auto c = uint8_t(out[i]);
        if (c == '\n' || (tabsAllowed && c == '\t')) continue;
        if (c < 0x20 || c == 0x7F ||
            (c == 0xC2 && i + 1 < out.size() && uint8_t(out[i + 1]) < 0xA0 && uint8_t(out[i + 1]) >= 0x80))
            return "byte " + std::to_string(c) + " at " + std::to_string(i) + " in: " + out;
    }
    return {};
}

std::vector<std::string> lines(const std::string& out) {
    std::vector<std::string> v;
    for (size_t pos = 0; pos < out.size();) {
        size_t e = out.find('\n', pos);
        if (e == std::string::npos) e = out.size();
        v.push_back(out.substr(pos, e - pos));
        pos = e + 1;
    }
    return v;
}

class KvarcEscape : public ::testing::Test {
protected:
    void SetUp() override {
        archive = dir / "evil\x1b[2J.zip";
        writeFile(archive, storedZip({{"\x1b]0;pwned\x07.txt", "one"},
                                      {"a\tb\nc", "two"},
                                      {"c1\xC2\x9B"
                                       "2J del\x7F",
                                       "three"},
                                      {"Копия.txt", "four"},
                                      {"invoice\u202Etxt.exe", "five"},
                                      {"a\u2067b\u2028c\u200Fd\u061C", "six"}},
                                     "first line\r\nsecond\x1b[2J C:\\x1b\n"));
    }
    std::string kvarc(const std::string& args, int* st) {
        return run(std::string(KVARC) + " " + args + " 2>&1", st);
    }
    TempDir dir;
    std::string archive;
};

TEST_F(KvarcEscape, TsvKeepsOneRowPerEntryAndNoRawControls) {
    int st = -1;
    const std::string out = kvarc("l --tsv " + shellQuote(archive), &st);
    EXPECT_EQ(st, 0) << out;
    EXPECT_EQ(firstRawControl(out, true), "");
    const std::vector<std::string> rows = lines(out);
    ASSERT_EQ(rows.size(), 7u) << out;  // the type line and one row an entry
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), '\t'), 6) << rows[i];
    EXPECT_EQ(rows[1].substr(0, rows[1].find('\t')), "\\x1b]0;pwned\\x07.txt");
    EXPECT_EQ(rows[2].substr(0, rows[2].find('\t')), "a\\x09b\\x0ac");
    EXPECT_EQ(rows[3].substr(0, rows[3].find('\t')), "c1\\xc2\\x9b2J del\\x7f");
    EXPECT_EQ(rows[4].substr(0, rows[4].find('\t')), "Копия.txt");
    EXPECT_EQ(rows[5].substr(0, rows[5].find('\t')), "invoice\\xe2\\x80\\xaetxt.exe");
    EXPECT_EQ(rows[6].substr(0, rows[6].find('\t')), "a\\xe2\\x81\\xa7b\\xe2\\x80\\xa8c\\xe2\\x80\\x8fd\\xd8\\x9c");
}

TEST_F(KvarcEscape, TableHeaderNamesAndCommentAreEscaped) {
    int st = -1;
    const std::string out = kvarc("l " + shellQuote(archive), &st);
    EXPECT_EQ(st, 0) << out;
    EXPECT_EQ(firstRawControl(out, false), "");
    EXPECT_NE(out.find("evil\\x1b[2J.zip"), std::string::npos) << out;
    EXPECT_NE(out.find("  \\x1b]0;pwned\\x07.txt\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  a\\x09b\\x0ac\n"), std::string::npos) << out;
    // The comment keeps its lines, each escaped; its own backslash is doubled, so it does not
    // read as an escape.
    EXPECT_NE(out.find("Comment: first line\n         second\\x1b[2J C:\\\\x1b\n"), std::string::npos) << out;
}

TEST_F(KvarcEscape, TestAndExtractLinesAreEscaped) {
    int st = -1;
    std::string out = kvarc("t " + shellQuote(archive), &st);
    EXPECT_EQ(st, 0) << out;
    EXPECT_EQ(firstRawControl(out, false), "");
    EXPECT_NE(out.find("OK      \\x1b]0;pwned\\x07.txt\n"), std::string::npos) << out;
    EXPECT_NE(out.find("OK      invoice\\xe2\\x80\\xaetxt.exe\n"), std::string::npos) << out;
    EXPECT_NE(out.find("6 tested, 0 failed"), std::string::npos) << out;

    // Whatever the extractor makes of such names, neither what it writes nor the second run's
    // skipped or failed lines carry a raw control.
    const std::string target = dir / "out";
    out = kvarc("x " + shellQuote(archive) + " " + shellQuote(target), &st);
    EXPECT_EQ(firstRawControl(out, false), "");
    out = kvarc("x " + shellQuote(archive) + " " + shellQuote(target), &st);
    EXPECT_EQ(firstRawControl(out, false), "");
    EXPECT_NE(out.find("Копия.txt"), std::string::npos) << out;

    // A missing archive with a control in its name: the message names it escaped.
    out = kvarc("t " + shellQuote(dir / "gone\x1b[2J.zip"), &st);
    EXPECT_EQ(st, 2);
    EXPECT_EQ(firstRawControl(out, false), "");
    EXPECT_NE(out.find("gone\\x1b[2J.zip"), std::string::npos) << out;
}

#endif

}  // namespace
