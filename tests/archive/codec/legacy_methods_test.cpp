// Shrunk, reduced and imploded entries of real archives expand to their known SHA-256.
#include "archive/codec/explode.h"
#include "archive/codec/unreduce.h"
#include "archive/codec/unshrink.h"
#include "test_codec_util.h"

#include <gtest/gtest.h>

namespace kv::codec {

// Expands one raw entry by its method into a buffer of its declared size.
Result expandEntry(const test::RawZipEntry& e, std::vector<uint8_t>& out) {
    out.assign(e.size, 0);
    InputSource in(e.data);
    OutputWindow win(out);
    switch (e.method) {
        case 1: return unshrink(in, win);
        case 2:
        case 3:
        case 4:
        case 5: return unreduce(in, win, e.method - 1);
        case 6: return explode(in, win, ExplodeOptions{(e.flags & 2) != 0, (e.flags & 4) != 0});
        default: ADD_FAILURE() << "method " << e.method; return {};
    }
}

namespace {

struct Known {
    const char* fixture;
    const char* entry;
    const char* sha256;
};

// From the fixtures' listings; the reduced entries' sums come from the original files.
const Known kKnown[] = {
    {"sharpcompress/Zip.shrink.zip", "TECT.TXT",
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"sharpcompress/Zip.shrink.zip", "TEST.EXE",
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"commons-compress/SHRUNK.ZIP", "TEST1.XML",
     "1f155fbeed0dc3b21ee30e7a648c98ba1123083b814a58ad852d37447a608f0e"},
    {"commons-compress/SHRUNK.ZIP", "TEST2.XML",
     "2402e6ef55b5f8886f6632078f50a23cbc73ece37aac7951e77c2a4098acdf5f"},
    {"zip2/shrink.zip", "FIRST.TXT", "7fa9e80fcfc8ef32d3e08d88b85730803da855affea2d1ec51f08a4b01f171e7"},
    {"sharpcompress/Zip.implode.zip", "EXE/TEST.EXE",
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"sharpcompress/Zip.implode.zip", nullptr /* the CP437 text name */,
     "4d581d93d369f6e1c9b295ff38d82dabd577f927dfaf0c35818c015c85e322d9"},
    {"commons-compress/imploding-4Kdict-2trees.zip", "HEADER.TXT",
     "fdb715b10947e98f8bfb104194f9be0cda1b809391a8dc2100d78a25c06c7812"},
    {"sharpcompress/Zip.reduce1.zip", "TEST.EXE",
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"sharpcompress/Zip.reduce1.zip", "TEST.JPG",
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"sharpcompress/Zip.reduce3.zip", "TEST.EXE",
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"sharpcompress/Zip.reduce3.zip", "TEST.JPG",
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"sharpcompress/Zip.reduce4.zip", "TEST.EXE",
     "8557928804f57ecc340b3bb38b095a3607474ec8deb0076f316fcfe02b562106"},
    {"sharpcompress/Zip.reduce4.zip", "TEST.JPG",
     "b251c7501fb0f55dd4a92feabe0a6f5733bc40a02679498155fae9b30138fc53"},
    {"zip2/reduce.zip", "first.txt", "7fa9e80fcfc8ef32d3e08d88b85730803da855affea2d1ec51f08a4b01f171e7"},
};

TEST(LegacyMethods, FixturesExpandToTheirKnownContent) {
    for (const auto& k : kKnown) {
        auto entries = test::rawZipEntries(test::readFile(test::fixture(k.fixture)));
        bool found = false;
        for (const auto& e : entries) {
            bool match = k.entry ? e.name == k.entry : e.name.find(".txt") != std::string::npos;
            if (!match) continue;
            found = true;
            std::vector<uint8_t> out;
            Result r = expandEntry(e, out);
            ASSERT_TRUE(r.ok()) << k.fixture << " " << e.name << " id " << r.messageId;
            EXPECT_EQ(r.output, e.size);
            EXPECT_EQ(test::sha256Hex(out), k.sha256) << k.fixture << " " << e.name;
        }
        EXPECT_TRUE(found) << k.fixture << " " << (k.entry ? k.entry : "*.txt");
    }
}

// Cutting the compressed data anywhere ends in ShortInput, never a crash or a short
// output reported as success (shrunk data has no end mark of its own).
TEST(LegacyMethods, TruncatedEntriesFailCleanly) {
    const char* files[] = {"commons-compress/SHRUNK.ZIP", "commons-compress/imploding-4Kdict-2trees.zip",
                           "zip2/reduce.zip", "zip2/shrink.zip"};
    for (const char* f : files) {
        auto entries = test::rawZipEntries(test::readFile(test::fixture(f)));
        auto e = entries.front();
        auto full = e.data;
        for (size_t cut = 0; cut + 1 < full.size(); cut += 3) {
            e.data.assign(full.begin(), full.begin() + long(cut));
            std::vector<uint8_t> out;
            Result r = expandEntry(e, out);
            EXPECT_EQ(r.status, Status::ShortInput) << f << " cut " << cut;
            EXPECT_EQ(r.messageId, msg::BadBlock);
        }
    }
}

}  // namespace
}  // namespace kv::codec

#include "test_reducer.h"

namespace kv::codec {
namespace {

TEST(LegacyMethods, ReducedDataExpandsBackForEveryFactor) {
    std::vector<uint8_t> escapes(3000);
    for (size_t i = 0; i < escapes.size(); ++i)
        escapes[i] = i % 5 == 0 ? 0x90 : uint8_t(i / 300);  // literal 0x90s and long runs
    std::vector<uint8_t> longRuns(20000, 'x');              // lengths past the one-byte field
    const std::vector<uint8_t> inputs[] = {
        test::textData(30000, 5), test::randomData(5000, 6), escapes, longRuns, {}};
    for (int factor = 1; factor <= 4; ++factor) {
        for (const auto& data : inputs) {
            auto packed = test::reduce(data, factor);
            std::vector<uint8_t> out(data.size());
            InputSource in(packed);
            OutputWindow win(out);
            Result r = unreduce(in, win, factor);
            ASSERT_TRUE(r.ok()) << "factor " << factor << " size " << data.size() << " id " << r.messageId;
            ASSERT_TRUE(out == data) << "factor " << factor << " size " << data.size();
        }
    }
}

}  // namespace
}  // namespace kv::codec

namespace kv::codec {
namespace {

// Shrunk codes written by hand, 9 bits each, least significant bit first.
std::vector<uint8_t> shrunkCodes(std::initializer_list<unsigned> codes) {
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    unsigned n = 0;
    for (unsigned c : codes) {
        acc |= c << n;
        for (n += 9; n >= 8; n -= 8, acc >>= 8) out.push_back(uint8_t(acc));
    }
    if (n) out.push_back(uint8_t(acc));
    return out;
}

// A partial clear frees the codes no other code is a prefix of and the next definitions
// reuse them from the lowest: 257 "ab" stays (259 "abc" used it), 258 "ba" and 259 go, so
// "cd" becomes 258, and both 257 and 258 still spell their strings afterwards.
TEST(LegacyMethods, UnshrinkPartialClearReusesTheFreedCodes) {
    test::RawZipEntry e;
    e.method = 1;
    e.data = shrunkCodes({'a', 'b', 257, 'c', 256, 2, 'd', 257, 258});
    e.size = 10;
    std::vector<uint8_t> out;
    Result r = expandEntry(e, out);
    ASSERT_TRUE(r.ok()) << r.messageId;
    EXPECT_EQ(std::string(out.begin(), out.end()), "ababcdabcd");
}

TEST(LegacyMethods, DamagedStreamsGiveTheirIds) {
    struct Case {
        const char* what;
        int method;
        uint16_t flags;
        std::vector<uint8_t> data;
        int id;
    };
    const Case cases[] = {
        // Length tree of 64 one-bit codes: they cannot all be told apart.
        {"ambiguous tree", 6, 0, {3, 0xF0, 0xF0, 0xF0, 0xF0, 0, 0, 0, 0}, msg::AmbiguousTree},
        // Length tree describing 16 symbols where 64 are needed.
        {"tree of the wrong size", 6, 0, {0, 0xF5, 0, 0, 0}, msg::InvalidDecodeTree},
        // First code 300 is not defined yet (9 bits: 300 = 0b100101100).
        {"undefined first code", 1, 0, {0x2C, 0x01, 0, 0}, msg::InvalidCode},
        // Control code 256 followed by 3, which means nothing.
        {"unknown control code", 1, 0, {0x00, 0x07, 0, 0, 0}, msg::InvalidCode},
    };
    for (const auto& c : cases) {
        test::RawZipEntry e;
        e.method = uint16_t(c.method);
        e.flags = c.flags;
        e.size = 100;
        e.data = c.data;
        std::vector<uint8_t> out;
        Result r = expandEntry(e, out);
        EXPECT_EQ(r.status, Status::BadData) << c.what;
        EXPECT_EQ(r.messageId, c.id) << c.what;
    }
}

}  // namespace
}  // namespace kv::codec
