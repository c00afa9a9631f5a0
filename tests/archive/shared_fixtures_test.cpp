// Every shared fixture listed by our reader must agree with the listing independent tools
// made of it (expected/*.txt), read the way our reader reads each format.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixture_util.h"

namespace fs = std::filesystem;
using namespace kvtest;

namespace {

const std::string kRoot = KV_TEST_DATA "/archives";

struct Expected {
    std::string fixture, format, status;
    bool multiPart = false;
    struct Row {
        std::string name, kind, size, packed, crc, method, encrypted;
    };
    std::vector<Row> rows;
};

Expected readExpected(const fs::path& p) {
    Expected e;
    std::ifstream in(p);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("# fixture: ", 0) == 0)
            e.fixture = line.substr(11);
        else if (line.rfind("# format: ", 0) == 0)
            e.format = line.substr(10);
        else if (line.rfind("# status: ", 0) == 0)
            e.status = line.substr(10);
        else if (line.rfind("# parts: ", 0) == 0)
            e.multiPart = true;
        else if (!line.empty() && line[0] != '#') {
            std::vector<std::string> f;
            std::stringstream ss(line);
            std::string cell;
            while (std::getline(ss, cell, '\t')) f.push_back(cell);
            if (f.size() >= 8) e.rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[7]});
        }
    }
    return e;
}

// What our reader lists of the rows: which entries it shows, and under which name.
std::vector<Expected::Row> ourView(const Expected& e) {
    std::vector<Expected::Row> out;
    for (Expected::Row r : e.rows) {
        if (r.kind == "label") continue;
        if (r.kind == "dir") {
            // Folder entries: ZIP never counts them, LHA names end in "/" and never match, TAR
            // lists only files and links; ARJ, RAR and ARC folders are entries of their own.
            if (e.format == "ZIP" || e.format == "LHA" || e.format == "TAR" || e.format == "CAB") continue;
            if (!r.name.empty() && r.name.back() == '/') r.name.pop_back();
        }
        if (e.format == "UUE") {
            // Only "begin " counts (not "begin-base64"), and the sizes are the file's own.
            std::ifstream f(kRoot + "/" + e.fixture);
            std::string text((std::istreambuf_iterator<char>(f)), {});
            if (text.rfind("begin ", 0) != 0 && text.find("\nbegin ") == std::string::npos) continue;
            r.size = r.packed = std::to_string(text.size());
        }
        if (e.format == "GZIP" && e.fixture.ends_with(".Z")) {
            // compress files store no name, size or CRC: the name is the file's, cut at its dot.
            std::string file = fs::path(e.fixture).filename().string();
            r.name = file.substr(0, file.find('.'));
            r.size = std::to_string(fs::file_size(kRoot + "/" + e.fixture));
            r.crc = "00000000";
        }
        out.push_back(r);
    }
    return out;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string hex(uint32_t v, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*x", digits, v);
    return b;
}

std::string methodCode(const std::string& format, const Listed& l, const std::string& want) {
    // LHA keeps the character of "-lhN-" (or "-lzN-"); CAB the low four bits of the type.
    if (format == "LHA") return want.size() == 5 ? want.substr(0, 3) + char(l.method) + "-" : want;
    if (format == "CAB")
        return std::to_string(std::stoi(want) & 0xF) == std::to_string(l.method) ? want : "?";
    if (format == "RAR") return "0x" + hex(l.method, 2);
    return std::to_string(l.method);
}

class SharedFixture : public ::testing::TestWithParam<std::string> {};

TEST_P(SharedFixture, ListingAgreesWithIndependentTools) {
    Expected e = readExpected(GetParam());
    ASSERT_FALSE(e.fixture.empty());
    const std::string path = kRoot + "/" + e.fixture;
    Listing got = listArchive(path);
    SCOPED_TRACE(e.fixture);
    // Encrypted RAR headers cannot be read without decrypting them.
    if (e.status == "unreadable" || (e.format == "RAR" && e.fixture.find("hpsw") != std::string::npos)) {
        EXPECT_FALSE(got.ok);
        EXPECT_TRUE(got.entries.empty());
        return;
    }
    std::vector<Expected::Row> want = ourView(e);
    if (want.empty()) {
        EXPECT_TRUE(got.entries.empty());
        return;
    }
    EXPECT_TRUE(got.ok) << "error " << got.error;
    EXPECT_EQ(got.totals, int(got.entries.size()));
    ASSERT_EQ(got.entries.size(), want.size());
    // TAR, CAB and UUE store no per-file CRC-32: the expected column was computed from data.
    bool crcComparable = e.format != "TAR" && e.format != "CAB" && e.format != "UUE" && !e.multiPart;
    for (size_t i = 0; i < want.size(); ++i) {
        const auto& w = want[i];
        const auto& g = got.entries[i];
        SCOPED_TRACE(w.name);
        if (e.format == "LHA") {
            EXPECT_EQ(lower(g.name), lower(w.name));  // lhasa shows DOS-made names in lower case
        } else {
            EXPECT_EQ(g.name, w.name);
        }
        EXPECT_EQ(std::to_string(g.size), w.size);
        if (w.packed != "-" && e.format != "GZIP" && e.format != "CAB") {
            EXPECT_EQ(std::to_string(g.packed), w.packed);
        }
        if (crcComparable && w.crc != "-") {
            EXPECT_EQ(hex(w.crc.size() == 4 ? (g.crc & 0xFFFF) : g.crc, int(w.crc.size())), w.crc);
        }
        if (w.method != "-" && e.format != "GZIP" && e.format != "TAR" && e.format != "UUE") {
            EXPECT_EQ(methodCode(e.format, g, w.method), w.method);
        }
        EXPECT_EQ(g.encrypted, w.encrypted == "yes");
        EXPECT_EQ(g.dir, w.kind == "dir");
    }
}

std::vector<std::string> allExpected() {
    std::vector<std::string> out;
    for (auto& d : fs::recursive_directory_iterator(kRoot + "/expected"))
        if (d.is_regular_file() && d.path().extension() == ".txt") out.push_back(d.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string s = fs::relative(info.param, kRoot + "/expected").string();
    for (char& c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return s;
}

INSTANTIATE_TEST_SUITE_P(Archives, SharedFixture, ::testing::ValuesIn(allExpected()), testName);

// The RAR 5 and RAR 3 fixtures hold the same tree, archived at the same time: RAR 3 keeps
// the local time of the maker (DOS stamps, 2-second steps), RAR 5 Unix time. Their dates
// differ by one whole-hour zone offset and lie in 2020, as the expected listing's files do.
TEST(SharedFixtureDates, Rar5TimesAgreeWithRar3) {
    Listing rar3 = listArchive(kRoot + "/rar/rarfile/rar3-subdirs.rar");
    Listing rar5 = listArchive(kRoot + "/rar/rarfile/rar5-subdirs.rar");
    ASSERT_TRUE(rar3.ok);
    ASSERT_TRUE(rar5.ok);
    Expected e = readExpected(kRoot + "/expected/rar/rarfile/rar5-subdirs.rar.txt");
    ASSERT_EQ(rar5.entries.size(), e.rows.size());
    ASSERT_EQ(rar3.entries.size(), rar5.entries.size());
    const int64_t offset =
        kv::dateTimeToUnixTime(rar3.entries[0].date) - kv::dateTimeToUnixTime(rar5.entries[0].date);
    const int64_t zone = (offset + (offset >= 0 ? 1800 : -1800)) / 3600 * 3600;
    EXPECT_LE(std::abs(zone), 14 * 3600);
    for (size_t i = 0; i < rar5.entries.size(); ++i) {
        SCOPED_TRACE(rar5.entries[i].name);
        EXPECT_EQ(rar5.entries[i].name + (rar5.entries[i].dir ? "/" : ""), e.rows[i].name);
        EXPECT_EQ(rar5.entries[i].name, rar3.entries[i].name);
        EXPECT_EQ(rar5.entries[i].date.Year, 2020);
        const int64_t diff =
            kv::dateTimeToUnixTime(rar3.entries[i].date) - kv::dateTimeToUnixTime(rar5.entries[i].date);
        EXPECT_LE(std::abs(diff - zone), 2);  // DOS seconds are even
    }
}

// Types the detector must give the fixtures (by signature, by executable search, by name).
TEST(SharedFixtureTypes, Detection) {
    struct {
        const char* file;
        kv::TArcType type;
    } rows[] = {
        {"zip/stored.zip", kv::atZIP},
        {"zip/sfx.exe", kv::atZipExe},
        {"zip/not-a-zip.zip", kv::atZIP},
        {"arj/sfx.exe", kv::atArjExe},
        {"lha/sfx.exe", kv::atLhaExe},
        {"arc/stored.arc", kv::atARC},
        {"arc/methods.arc", kv::atARC},
        {"tar/v7.tar", kv::atTAR},
        {"gzip/lorem.txt.Z", kv::atGZip},
        {"cab/mszip.cab", kv::atCAB},
        {"zoo/patool/t.zoo", kv::atZOO},
        {"uue/readme.uue", kv::atUUE},
        {"rar/rarfile/rar5-solid.rar", kv::atRAR},
        {"rar/ssokolow/testfile.rar3.wincon.sfx.exe", kv::atRarExe},
    };
    for (auto& r : rows) {
        kv::TKelmo k;
        k.setArchiveFile(kRoot + "/" + r.file);
        EXPECT_EQ(k.ArcType(), r.type) << r.file;
    }
}

}  // namespace
