#include <gtest/gtest.h>

#include <cmath>

#include "../../support/temp_dir.h"
#include "music_fixtures.h"
#include "tools/music/decoders.h"
#include "tools/music/wav_reader.h"

using namespace kv::music;
using namespace kv::test;

namespace {

std::vector<int16_t> decodeAll(PcmSource& s) {
    std::vector<int16_t> pcm, chunk(1000 * size_t(s.format().channels));
    while (size_t got = s.read(chunk.data(), 1000))
        pcm.insert(pcm.end(), chunk.begin(),
                   chunk.begin() + std::ptrdiff_t(got * size_t(s.format().channels)));
    return pcm;
}

double rms(const std::vector<int16_t>& pcm) {
    double sum = 0;
    for (int16_t s : pcm) sum += double(s) * s;
    return pcm.empty() ? 0 : std::sqrt(sum / double(pcm.size()));
}

}  // namespace

TEST(WavReader, ReadsEachSampleFormatToSixteenBits) {
    TempDir dir;
    struct Row {
        const char* name;
        std::string fmt, data;
        PcmFormat format;
        std::vector<int16_t> expect;
    };
    std::string ext = fmtBody(0xFFFE, 2, 8000, 16);
    put16(ext, 22);
    put16(ext, 16);  // valid bits
    put32(ext, 3);   // channel mask
    put16(ext, 1);   // sub-format: PCM
    ext += std::string(14, '\x01');
    auto le = [](std::initializer_list<int> bytes) {
        std::string s;
        for (int b : bytes) s += char(b);
        return s;
    };
    float half = 0.5f, over = 3.0f;
    std::string floats(reinterpret_cast<char*>(&half), 4);
    floats += std::string(reinterpret_cast<char*>(&over), 4);
    const Row rows[] = {
        {"8-bit mono is unsigned",
         fmtBody(1, 1, 8000, 8),
         le({0x80, 0xFF, 0x00}),
         {8000, 1},
         {0, 127 << 8, -32768}},
        {"16-bit stereo", fmtBody(1, 2, 22050, 16), le({0x01, 0x00, 0xFF, 0xFF}), {22050, 2}, {1, -1}},
        {"24-bit keeps the high bytes", fmtBody(1, 1, 8000, 24), le({0x12, 0x34, 0x56}), {8000, 1}, {0x5634}},
        {"32-bit float is clamped", fmtBody(3, 1, 8000, 32), floats, {8000, 1}, {16384, 32767}},
        {"extensible header", ext, le({0x05, 0x00, 0x06, 0x00}), {8000, 2}, {5, 6}},
        {"more than two channels keep the first two",
         fmtBody(1, 3, 8000, 16),
         le({1, 0, 2, 0, 3, 0}),
         {8000, 2},
         {1, 2}},
    };
    for (const Row& r : rows) {
        const std::string path = dir / "x.wav";
        writeBytes(path, riffWave(chunk("fmt ", r.fmt) + chunk("data", r.data)));
        std::string error;
        auto s = openWav(path, error);
        ASSERT_TRUE(s) << r.name << ": " << error;
        EXPECT_EQ(s->format(), r.format) << r.name;
        EXPECT_EQ(decodeAll(*s), r.expect) << r.name;
    }
}

TEST(WavReader, TrustsNoSizeTheFileDoesNotBack) {
    TempDir dir;
    const std::string fmt = chunk("fmt ", fmtBody(1, 2, 44100, 16));
    std::string fourFrames;
    for (int i = 0; i < 16; ++i) fourFrames += char(i);
    struct Row {
        const char* name;
        std::string bytes;
        uint64_t frames;  // 0: refused
    };
    const Row rows[] = {
        {"a chunk claiming 4 GB is refused",
         riffWave(fmt + chunk("LIST", "abcd", 0xFFFFFFF0) + chunk("data", fourFrames)), 0},
        {"a data chunk longer than the file plays what is there",
         riffWave(fmt + chunk("data", fourFrames, 0x7FFFFFFF)), 4},
        {"a part frame at the end is dropped", riffWave(fmt + chunk("data", fourFrames.substr(0, 10))), 2},
        {"an odd chunk is padded to a word", riffWave(fmt + chunk("odd ", "abc") + chunk("data", fourFrames)),
         4},
        {"data before its format", riffWave(chunk("data", fourFrames) + fmt), 0},
        {"no format at all", riffWave(chunk("data", fourFrames)), 0},
        {"a format chunk too short", riffWave(chunk("fmt ", "abcdefgh") + chunk("data", fourFrames)), 0},
        {"no channels", riffWave(chunk("fmt ", fmtBody(1, 0, 44100, 16)) + chunk("data", fourFrames)), 0},
        {"block size that disagrees",
         riffWave(chunk("fmt ", fmtBody(1, 2, 44100, 16).replace(12, 2, "\x03\x00", 2)) +
                  chunk("data", fourFrames)),
         0},
        {"compressed (ADPCM)", riffWave(chunk("fmt ", fmtBody(2, 2, 44100, 16)) + chunk("data", fourFrames)),
         0},
        {"not RIFF", "RIFX" + std::string(40, '\0'), 0},
        {"cut inside the header", riffWave(fmt).substr(0, 20), 0},
    };
    for (const Row& r : rows) {
        const std::string path = dir / "x.wav";
        writeBytes(path, r.bytes);
        std::string error;
        auto s = openWav(path, error);
        if (r.frames == 0) {
            EXPECT_FALSE(s) << r.name;
            EXPECT_FALSE(error.empty()) << r.name;
            continue;
        }
        ASSERT_TRUE(s) << r.name << ": " << error;
        EXPECT_EQ(s->lengthFrames(), r.frames) << r.name;
        EXPECT_EQ(decodeAll(*s).size(), r.frames * 2) << r.name;
    }
}

TEST(ModuleDecoder, GeneratedModuleDecodesToItsLengthTheSameEachTime) {
    TempDir dir;
    writeBytes(dir / "song.mod", trackerModule(16));
    std::string error;
    auto s = openModule(dir / "song.mod", error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->format(), (PcmFormat{44100, 2}));
    // 16 rows at speed 6 and 125 BPM: 16 x 6 x 20 ms = 1.92 s.
    EXPECT_EQ(s->lengthFrames(), 84672u);
    const auto first = decodeAll(*s);
    // The last notes ring on for a moment past the end.
    EXPECT_GE(first.size() / 2, 84672u);
    EXPECT_LE(first.size() / 2, 84672u + 44100 / 5);
    EXPECT_GT(rms(first), 500.0) << "the notes sound";
    ASSERT_TRUE(s->rewind());
    EXPECT_EQ(fnv1a(decodeAll(*s)), fnv1a(first)) << "a replay is the same sound";

    writeBytes(dir / "longer.mod", trackerModule(32));
    auto longer = openModule(dir / "longer.mod", error);
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->lengthFrames(), 2 * 84672u);

    writeBytes(dir / "junk.mod", std::string(3000, 'z'));
    EXPECT_FALSE(openModule(dir / "junk.mod", error));
    EXPECT_FALSE(error.empty());
}

TEST(MpegDecoder, LameEncodedSineDecodesToItsFramesAndShape) {
    TempDir dir;
    const auto sine = sineFrames(44100);
    writeBytes(dir / "sine.wav", wave16(sine));
    if (!encodeMp3(dir / "sine.wav", dir / "sine.mp3")) GTEST_SKIP() << "lame is not installed";
    std::string error;
    auto s = openMpeg(dir / "sine.mp3", error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->format(), (PcmFormat{44100, 2}));
    EXPECT_EQ(s->info().layer, 3);
    EXPECT_EQ(s->info().bitrateKbps, 128);
    // lame's header tells the decoder its delay and padding: exactly the frames encoded.
    EXPECT_EQ(s->lengthFrames(), 44100u);
    const auto pcm = decodeAll(*s);
    ASSERT_EQ(pcm.size(), sine.size());
    double err = 0, sig = 0;
    for (size_t i = 0; i < pcm.size(); ++i) {
        err += double(pcm[i] - sine[i]) * (pcm[i] - sine[i]);
        sig += double(sine[i]) * sine[i];
    }
    EXPECT_GT(10 * std::log10(sig / err), 20.0) << "the decoded sound is the sine, in step";
    ASSERT_TRUE(s->rewind());
    EXPECT_EQ(fnv1a(decodeAll(*s)), fnv1a(pcm));

    writeBytes(dir / "noise.mp3", std::string(5000, '\0'));
    EXPECT_FALSE(openMpeg(dir / "noise.mp3", error));
}

TEST(MidiDecoder, PlaysAStandardMidiFileOrSaysWhatIsMissing) {
    TempDir dir;
    // One track: note on, a quarter note later note off, end of track.
    std::string trk = std::string("\x00\x90\x3C\x64", 4) + std::string("\x83\x60\x80\x3C\x00", 5) +
                      std::string("\x00\xFF\x2F\x00", 4);
    std::string smf = "MThd";
    put32(smf, 0x06000000);  // big-endian 6
    smf += std::string("\x00\x00\x00\x01\x01\xE0", 6);
    smf += "MTrk";
    smf += char(0);
    smf += char(0);
    smf += char(0);
    smf += char(trk.size());
    smf += trk;
    writeBytes(dir / "a.mid", smf);
    std::string error;
    auto missing = openMidi(dir / "a.mid", error, dir / "none.sf2");
    EXPECT_FALSE(missing);
    EXPECT_NE(error.find("sound font"), std::string::npos) << error;

    auto s = openMidi(dir / "a.mid", error);
    if (!s) GTEST_SKIP() << error;
    const auto pcm = decodeAll(*s);
    EXPECT_GT(rms(pcm), 50.0);
    EXPECT_GT(pcm.size() / 2, 44100u / 2) << "half a second at 120 BPM, and the fade";
    EXPECT_GT(s->progress().length, 0u);

    // The same song in a RIFF RMID wrapping.
    writeBytes(dir / "a.rmi", "RIFF" + std::string(4, '\0') + "RMID" + chunk("data", smf));
    EXPECT_TRUE(openMidi(dir / "a.rmi", error)) << error;
    writeBytes(dir / "bad.rmi", "RIFF" + std::string(4, '\0') + "RMID" + chunk("data", smf, 0x7FFFFFFF));
    EXPECT_FALSE(openMidi(dir / "bad.rmi", error));
}
