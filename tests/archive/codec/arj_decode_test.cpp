// The ARJ decoders against archives made at test time by arj with each method, checked
// against arj's own extraction, and against the shared fixtures' CRC-32s.
#include <gtest/gtest.h>

#include "archive/codec/arj_decode.h"
#include "test_codec_util.h"
#include "test_legacy_archives.h"

#include "../fixture_util.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

using namespace kv::codec;
using namespace kv::codec::test;

namespace {

Decode arj(int method) {
    return [method](InputSource& in, OutputWindow& out) { return arjDecode(in, out, method); };
}

void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

// Every entry whole and streamed; answers the whole-buffer bytes by name.
std::vector<std::pair<RawEntry, std::vector<uint8_t>>> decodeAll(const std::vector<uint8_t>& archive) {
    std::vector<std::pair<RawEntry, std::vector<uint8_t>>> out;
    for (const RawEntry& e : rawArjEntries(archive)) {
        SCOPED_TRACE(e.name + " method " + e.method);
        int m = std::stoi(e.method);
        Decoded whole = decodeWhole(arj(m), e.data, size_t(e.size));
        EXPECT_TRUE(whole.result.ok()) << whole.result.messageId;
        EXPECT_EQ(whole.result.output, e.size);
        EXPECT_EQ(crc32Of(whole.bytes), e.crc);
        for (size_t chunk : {size_t(1), size_t(29), size_t(65536)}) {
            Decoded streamed = decodeStreamed(arj(m), e.data, e.size, kArjHistory, chunk);
            EXPECT_TRUE(streamed.result.ok()) << chunk;
            EXPECT_EQ(streamed.bytes, whole.bytes) << chunk;
        }
        out.emplace_back(e, std::move(whole.bytes));
    }
    return out;
}

TEST(ArjDecode, EveryMethodOfArjDecodesToWhatArjExtracts) {
    if (!kvtest::haveTool("arj")) GTEST_SKIP() << "arj not installed";
    kvtest::TempDir dir;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"text.txt", textData(300000, 3)},
        {"random.bin", randomData(70000, 4)},
        {"runs.bin", std::vector<uint8_t>(100000, 'x')},
        {"small.txt", textData(700, 5)},
        {"mixed.bin",
         [] {
             auto v = textData(60000, 6);
             auto r = randomData(30000, 7);
             v.insert(v.begin() + 20000, r.begin(), r.end());
             return v;
         }()},
    };
    fs::create_directories(dir.path / "in");
    for (auto& [name, data] : files) writeFile(dir / ("in/" + name), data);
    for (int m = 1; m <= 4; ++m) {
        SCOPED_TRACE("arj -m" + std::to_string(m));
        std::string arc = dir / ("m" + std::to_string(m) + ".arj");
        int st = 0;
        kvtest::run("cd " + kvtest::shellQuote(dir / "in") + " && timeout 120 arj a -y -m" +
                        std::to_string(m) + " " + kvtest::shellQuote(arc) + " * >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        std::string outDir = dir / ("x" + std::to_string(m));
        fs::create_directories(outDir);
        kvtest::run("cd " + kvtest::shellQuote(outDir) + " && timeout 120 arj e -y " +
                        kvtest::shellQuote(arc) + " >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        auto entries = decodeAll(readFile(arc));
        ASSERT_EQ(entries.size(), files.size());
        bool sawMethod = false;
        for (auto& [e, bytes] : entries) {
            sawMethod |= e.method == std::to_string(m);
            EXPECT_EQ(bytes, readFile(outDir + "/" + e.name)) << e.name;
        }
        EXPECT_TRUE(sawMethod);
    }
}

TEST(ArjDecode, SharedFixturesDecodeToTheirCrcs) {
    for (const char* rel : {"arj/m0.arj", "arj/m1.arj", "arj/m2.arj", "arj/m4.arj", "arj/comment.arj",
                            "arj/unix-host.arj", "arj/commons-compress/bla.arj"}) {
        SCOPED_TRACE(rel);
        EXPECT_FALSE(decodeAll(readFile(std::string(KV_TEST_DATA) + "/archives/" + rel)).empty());
    }
}

}  // namespace
