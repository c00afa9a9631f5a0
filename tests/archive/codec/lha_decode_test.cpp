// The LHA decoders against real archives (lhasa's test set, LHA programs of the time,
// archives made by jlha at test time), streamed and whole, and against broken streams.
#include <gtest/gtest.h>

#include "archive/codec/lha_decode.h"
#include "test_legacy_archives.h"
#include "test_codec_util.h"

#include "../fixture_util.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using namespace kv::codec;
using namespace kv::codec::test;

namespace {

std::string archivePath(const std::string& rel) { return std::string(KV_TEST_DATA) + "/archives/" + rel; }

// name -> sha256 from a fixture's expected listing.
std::map<std::string, std::string> expectedSums(const std::string& rel) {
    std::ifstream f(archivePath("expected/" + rel + ".txt"));
    std::map<std::string, std::string> sums;
    std::string line;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> cols;
        std::stringstream ss(line);
        for (std::string c; std::getline(ss, c, '\t');) cols.push_back(c);
        if (cols.size() >= 9) sums[cols[0]] = cols[8];
    }
    return sums;
}

Decode lha(LhaMethod m) {
    return [m](InputSource& in, OutputWindow& out) { return lhaDecode(in, out, m); };
}

// Decodes every entry whole and streamed (odd chunk sizes); both must give the bytes
// whose CRC-16 the header holds. Answers the decoded entries.
std::vector<std::pair<RawEntry, std::vector<uint8_t>>> decodeAll(const std::vector<uint8_t>& archive) {
    std::vector<std::pair<RawEntry, std::vector<uint8_t>>> out;
    for (const RawEntry& e : rawLhaEntries(archive)) {
        SCOPED_TRACE(e.name + " " + e.method);
        auto m = lhaMethod(e.method);
        if (!m) {
            ADD_FAILURE() << "method not decoded";
            continue;
        }
        Decoded whole = decodeWhole(lha(*m), e.data, size_t(e.size));
        EXPECT_TRUE(whole.result.ok()) << whole.result.messageId;
        EXPECT_EQ(whole.bytes.size(), e.size);
        EXPECT_EQ(crc16Of(whole.bytes), e.crc);
        for (size_t chunk : {size_t(1), size_t(13), size_t(4096)}) {
            Decoded streamed = decodeStreamed(lha(*m), e.data, e.size, lhaHistory(*m), chunk);
            EXPECT_TRUE(streamed.result.ok()) << chunk;
            EXPECT_EQ(streamed.bytes, whole.bytes) << chunk;
            EXPECT_EQ(streamed.result.inputUsed, whole.result.inputUsed) << chunk;
        }
        out.emplace_back(e, std::move(whole.bytes));
    }
    return out;
}

TEST(LhaDecode, FixturesFromLhaProgramsDecodeToTheirListedSums) {
    for (const char* rel :
         {"lha/lhasa/lharc113_lh1.lzh", "lha/lhasa/lengths_lh1-64k.lzh", "lha/lhasa/lha213_lh5.lzh",
          "lha/lhasa/generated_lzs.lzs", "lha/lhasa/larc333_lz4.lzs", "lha/lh5-l0.lzh", "lha/lh5-l1.lzh",
          "lha/lh5-l2.lzh", "lha/lh6-l2.lzh", "lha/lh7-l2.lzh", "lha/lh0-l2.lzh"}) {
        SCOPED_TRACE(rel);
        auto sums = expectedSums(rel);
        auto entries = decodeAll(readFile(archivePath(rel)));
        ASSERT_FALSE(entries.empty());
        for (auto& [e, bytes] : entries) {
            std::string name = e.name;
            for (char& c : name)
                if (c == '\\' || c == char(0xff)) c = '/';
            // The listings keep paths from the extended headers; match by the file name.
            std::string sum;
            for (auto& [n, s] : sums)
                if (n == name ||
                    (n.size() > name.size() && n.compare(n.size() - name.size(), name.size(), name) == 0 &&
                     n[n.size() - name.size() - 1] == '/'))
                    sum = s;
            if (sum.empty()) {
                for (auto& [n, s] : sums)
                    if (strcasecmp(n.c_str(), name.c_str()) == 0) sum = s;
            }
            EXPECT_EQ(sha256Hex(bytes), sum) << name;
        }
    }
}

// jlha writes -lh5-, -lh6- and -lh7- (with -lh0- for what does not shrink); what we
// decode must equal what lhasa extracts.
TEST(LhaDecode, ArchivesOfJlhaDecodeToWhatLhasaExtracts) {
    if (!kvtest::haveTool("jlha") || !kvtest::haveTool("lhasa"))
        GTEST_SKIP() << "jlha or lhasa not installed";
    kvtest::TempDir dir;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"text.txt", textData(400000, 31)},
        {"random.bin", randomData(40000, 32)},
        {"runs.bin", std::vector<uint8_t>(70000, 0)},
        {"mixed.bin",
         [] {
             auto v = textData(90000, 33);
             auto r = randomData(20000, 34);
             v.insert(v.begin() + 45000, r.begin(), r.end());
             return v;
         }()},
    };
    fs::create_directories(dir.path / "in");
    for (auto& [name, data] : files)
        std::ofstream(dir / ("in/" + name), std::ios::binary)
            .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    for (const char* method : {"5", "6", "7"}) {
        SCOPED_TRACE(std::string("-lh") + method + "-");
        std::string archive = dir / (std::string("t") + method + ".lzh");
        int st = 0;
        kvtest::run("cd " + kvtest::shellQuote(dir / "in") + " && timeout 120 jlha c2o" + method + "q " +
                        kvtest::shellQuote(archive) + " * >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        std::string outDir = dir / (std::string("x") + method);
        fs::create_directories(outDir);
        kvtest::run("cd " + kvtest::shellQuote(outDir) + " && timeout 120 lhasa xq " +
                        kvtest::shellQuote(archive) + " >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        auto entries = decodeAll(readFile(archive));
        ASSERT_EQ(entries.size(), files.size());
        bool sawMethod = false;
        for (auto& [e, bytes] : entries) {
            sawMethod |= e.method == std::string("-lh") + method + "-";
            EXPECT_EQ(bytes, readFile(outDir + "/" + e.name)) << e.name;
        }
        EXPECT_TRUE(sawMethod);
    }
}

}  // namespace
