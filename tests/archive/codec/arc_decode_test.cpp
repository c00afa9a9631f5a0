// The ARC decoders against archives made at test time by arc (which picks stored,
// packed, squeezed or crunched by content, and squashes with q), checked against
// nomarch's extraction, and against the shared fixtures' CRC-16s.
#include <gtest/gtest.h>

#include "archive/codec/arc_decode.h"
#include "test_codec_util.h"
#include "test_legacy_archives.h"

#include "../fixture_util.h"

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using namespace kv::codec;
using namespace kv::codec::test;

namespace {

Decode arc(int method) {
    return [method](InputSource& in, OutputWindow& out) { return arcDecode(in, out, method); };
}

void writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::vector<std::pair<RawEntry, std::vector<uint8_t>>> decodeAll(const std::vector<uint8_t>& archive) {
    std::vector<std::pair<RawEntry, std::vector<uint8_t>>> out;
    for (const RawEntry& e : rawArcEntries(archive)) {
        SCOPED_TRACE(e.name + " method " + e.method);
        int m = std::stoi(e.method);
        Decoded whole = decodeWhole(arc(m), e.data, size_t(e.size));
        EXPECT_TRUE(whole.result.ok()) << whole.result.messageId;
        EXPECT_EQ(whole.result.output, e.size);
        EXPECT_EQ(crc16Of(whole.bytes), e.crc);
        for (size_t chunk : {size_t(1), size_t(7), size_t(65536)}) {
            Decoded streamed = decodeStreamed(arc(m), e.data, e.size, 4096, chunk);
            EXPECT_TRUE(streamed.result.ok()) << chunk;
            EXPECT_EQ(streamed.bytes, whole.bytes) << chunk;
        }
        out.emplace_back(e, std::move(whole.bytes));
    }
    return out;
}

TEST(ArcDecode, SharedFixturesDecodeToTheirCrcs) {
    for (const char* rel : {"arc/methods.arc", "arc/stored.arc", "arc/sharpcompress/Arc.crunched.arc",
                            "arc/sharpcompress/Arc.squashed.arc"}) {
        SCOPED_TRACE(rel);
        EXPECT_FALSE(decodeAll(readFile(std::string(KV_TEST_DATA) + "/archives/" + rel)).empty());
    }
}

// Content that makes arc choose each of its methods, runs of the marker byte 0x90
// included.
std::vector<std::pair<std::string, std::vector<uint8_t>>> arcInputs() {
    std::vector<uint8_t> marks;
    for (int i = 0; i < 3000; ++i) {
        marks.insert(marks.end(), size_t(i % 7 + 1), uint8_t(0x90));
        marks.insert(marks.end(), size_t(i % 5 + 1), uint8_t('a' + i % 3));
    }
    std::vector<uint8_t> skewed;
    auto r = randomData(50000, 9);
    for (uint8_t b : r) skewed.push_back(uint8_t(b < 200 ? 'e' : b < 240 ? 't' : b));
    // Runs of many different bytes: packing beats the other methods.
    std::vector<uint8_t> packs;
    for (auto [c, n] : {std::pair{0x41, 40},
                        {0x0A, 1},
                        {0x2D, 70},
                        {0x0A, 1},
                        {0x20, 90},
                        {0x42, 1},
                        {0x0A, 1},
                        {0x3D, 75},
                        {0x0A, 1},
                        {0x00, 120},
                        {0x43, 1},
                        {0x0A, 1}})
        packs.insert(packs.end(), size_t(n), uint8_t(c));
    return {
        {"PACKS.TXT", packs},
        {"TEXT.TXT", textData(200000, 11)},
        {"RANDOM.BIN", randomData(30000, 12)},
        {"RUNS.BIN", std::vector<uint8_t>(50000, 'z')},
        {"MARKS.BIN", marks},
        {"SKEWED.BIN", skewed},
        {"SMALL.TXT", textData(300, 13)},
    };
}

TEST(ArcDecode, EveryMethodArcWritesDecodesToWhatNomarchExtracts) {
    if (!kvtest::haveTool("arc") || !kvtest::haveTool("nomarch"))
        GTEST_SKIP() << "arc or nomarch not installed";
    kvtest::TempDir dir;
    auto files = arcInputs();
    fs::create_directories(dir.path / "in");
    for (auto& [name, data] : files) writeFile(dir / ("in/" + name), data);
    std::set<std::string> methods;
    for (const char* cmd : {"a", "aq"}) {
        SCOPED_TRACE(cmd);
        std::string archive = dir / (std::string(cmd) + ".arc");
        int st = 0;
        kvtest::run("cd " + kvtest::shellQuote(dir / "in") + " && timeout 60 arc " + cmd + " " +
                        kvtest::shellQuote(archive) + " * >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        // nomarch is the reference: arc 5.21's own unsqueeze writes bytes past the size of
        // a squeezed run (50019 for 50000 'z') and then loops on the rest of the archive.
        std::string outDir = dir / (std::string(cmd) + "-out");
        fs::create_directories(outDir);
        kvtest::run("cd " + kvtest::shellQuote(outDir) + " && timeout 60 nomarch " +
                        kvtest::shellQuote(archive) + " >/dev/null 2>&1",
                    &st);
        ASSERT_EQ(st, 0);
        auto entries = decodeAll(readFile(archive));
        ASSERT_EQ(entries.size(), files.size());
        for (auto& [e, bytes] : entries) {
            methods.insert(e.method);
            std::string lower = e.name;  // nomarch writes lower-case names
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(bytes, readFile(outDir + "/" + lower)) << e.name;
        }
    }
    EXPECT_EQ(methods, (std::set<std::string>{"2", "3", "4", "8", "9"}));
}

// arc 5 no longer writes the old crunch (methods 5 to 7), so a test encoder makes it:
// LZW with fixed 12-bit codes, each code the slot its (prefix, byte) pair hashes to.
// nomarch, an independent reader, must extract what we decode; it does not read method
// 7, which is checked against the test encoder alone.
class OldCruncher {
public:
    explicit OldCruncher(bool newHash) : newHash_(newHash) {
        for (unsigned c = 0; c < 256; ++c) add(kNone, uint8_t(c));
    }

    std::vector<uint8_t> crunch(const std::vector<uint8_t>& data) {
        std::vector<unsigned> codes;
        unsigned pred = find(kNone, data[0]);
        for (size_t i = 1; i < data.size(); ++i) {
            int s = find(pred, data[i]);
            if (s >= 0) {
                pred = unsigned(s);
                continue;
            }
            codes.push_back(pred);
            if (used_ < 4096) add(pred, data[i]);
            pred = unsigned(find(kNone, data[i]));
        }
        codes.push_back(pred);
        std::vector<uint8_t> out;
        for (size_t i = 0; i < codes.size(); i += 2) {
            unsigned a = codes[i], b = i + 1 < codes.size() ? codes[i + 1] : 0;
            out.push_back(uint8_t(a >> 4));
            out.push_back(uint8_t((a & 15) << 4 | b >> 8));
            if (i + 1 < codes.size()) out.push_back(uint8_t(b));
        }
        return out;
    }

private:
    static constexpr unsigned kNone = 0xFFFF;
    struct Slot {
        bool used = false;
        unsigned next = 0, pred = 0;
        uint8_t byte = 0;
    };
    unsigned hash(unsigned pred, uint8_t c) const {
        uint32_t k = (pred + c) & 0xFFFF;
        if (newHash_) return (k * 15073u) & 0xFFF;
        k |= 0x800;
        return ((k * k) >> 6) & 0xFFF;
    }
    int find(unsigned pred, uint8_t c) const {
        unsigned s = hash(pred, c);
        if (!slots_[s].used) return -1;
        for (;;) {
            if (slots_[s].pred == pred && slots_[s].byte == c) return int(s);
            if (slots_[s].next == 0) return -1;
            s = slots_[s].next;
        }
    }
    void add(unsigned pred, uint8_t c) {
        unsigned s = hash(pred, c);
        if (slots_[s].used) {
            while (slots_[s].next != 0) s = slots_[s].next;
            unsigned end = s;
            s = (end + 101) & 0xFFF;
            while (slots_[s].used) s = (s + 1) & 0xFFF;
            slots_[end].next = s;
        }
        slots_[s] = Slot{true, 0, pred, c};
        ++used_;
    }
    bool newHash_;
    Slot slots_[4096];
    unsigned used_ = 0;
};

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

TEST(ArcDecode, OldCrunchDecodesToWhatNomarchExtracts) {
    if (!kvtest::haveTool("nomarch")) GTEST_SKIP() << "nomarch not installed";
    kvtest::TempDir dir;
    // Text without the run marker, so the run step of methods 6 and 7 passes it through;
    // the long one fills the table.
    const std::vector<std::vector<uint8_t>> inputs = {textData(120000, 41), textData(900, 42)};
    for (int method = 5; method <= 7; ++method) {
        SCOPED_TRACE("method " + std::to_string(method));
        std::vector<uint8_t> archive;
        for (size_t i = 0; i < inputs.size(); ++i) {
            auto packed = OldCruncher(method == 7).crunch(inputs[i]);
            archive.push_back(0x1A);
            archive.push_back(uint8_t(method));
            std::string name = "F" + std::to_string(i) + ".TXT";
            name.resize(13, '\0');
            archive.insert(archive.end(), name.begin(), name.end());
            put32(archive, uint32_t(packed.size()));
            put32(archive, 0x2A210000);  // a date in 2001
            uint16_t crc = crc16Of(inputs[i]);
            archive.push_back(uint8_t(crc));
            archive.push_back(uint8_t(crc >> 8));
            put32(archive, uint32_t(inputs[i].size()));
            archive.insert(archive.end(), packed.begin(), packed.end());
        }
        archive.push_back(0x1A);
        archive.push_back(0);
        std::string path = dir / ("m" + std::to_string(method) + ".arc");
        writeFile(path, archive);
        std::string outDir = dir / ("x" + std::to_string(method));
        fs::create_directories(outDir);
        int st = 0;
        kvtest::run("cd " + kvtest::shellQuote(outDir) + " && timeout 60 nomarch " +
                        kvtest::shellQuote(path) + " >/dev/null 2>&1",
                    &st);
        const bool peer = method != 7;
        if (peer) {
            EXPECT_EQ(st, 0);
        }
        auto entries = decodeAll(archive);
        ASSERT_EQ(entries.size(), inputs.size());
        for (size_t i = 0; i < inputs.size(); ++i) {
            EXPECT_EQ(entries[i].second, inputs[i]) << i;
            if (peer) {
                EXPECT_EQ(readFile(outDir + "/f" + std::to_string(i) + ".txt"), inputs[i]) << "nomarch " << i;
            }
        }
    }
}

}  // namespace
