#pragma once
// Sound files made at test time: wave files by hand, a tiny four-channel tracker module,
// and MP3s encoded by lame from a generated wave.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kv::test {

inline void put16(std::string& s, uint32_t v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
inline void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
inline void putBE16(std::string& s, uint32_t v) {
    s += char((v >> 8) & 0xFF);
    s += char(v & 0xFF);
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A "fmt " chunk body for integer PCM (format 1) or float (3).
inline std::string fmtBody(int format, int channels, int rate, int bits) {
    std::string f;
    put16(f, uint32_t(format));
    put16(f, uint32_t(channels));
    put32(f, uint32_t(rate));
    put32(f, uint32_t(rate * channels * bits / 8));
    put16(f, uint32_t(channels * bits / 8));
    put16(f, uint32_t(bits));
    return f;
}

inline std::string chunk(const std::string& id, const std::string& body, int64_t claimedSize = -1) {
    std::string c = id;
    put32(c, uint32_t(claimedSize < 0 ? body.size() : uint64_t(claimedSize)));
    c += body;
    if (claimedSize < 0 && body.size() % 2) c += '\0';
    return c;
}

inline std::string riffWave(const std::string& chunks) {
    std::string s = "RIFF";
    put32(s, uint32_t(4 + chunks.size()));
    return s + "WAVE" + chunks;
}

// 16-bit stereo sine of the given frames: left at freq, right at freq*1.5.
inline std::vector<int16_t> sineFrames(int frames, int rate = 44100, double freq = 440, double amp = 12000) {
    std::vector<int16_t> v;
    for (int i = 0; i < frames; ++i) {
        v.push_back(int16_t(std::lround(amp * std::sin(2 * M_PI * freq * i / rate))));
        v.push_back(int16_t(std::lround(amp * std::sin(2 * M_PI * freq * 1.5 * i / rate))));
    }
    return v;
}

inline std::string wave16(const std::vector<int16_t>& samples, int channels = 2, int rate = 44100) {
    std::string data;
    for (int16_t s : samples) put16(data, uint16_t(s));
    return riffWave(chunk("fmt ", fmtBody(1, channels, rate, 16)) + chunk("data", data));
}

// A ProTracker module: one looped square-wave sample, one pattern of which `rows` rows
// play (a pattern break ends it), a note on channel 1 and a higher one on channel 2.
inline std::string trackerModule(int rows = 16) {
    std::string m(20, '\0');
    m.replace(0, 7, "kv test");
    for (int s = 0; s < 31; ++s) {
        std::string name(22, '\0');
        m += name;
        const bool used = s == 0;
        putBE16(m, used ? 16 : 0);  // length in words: 32 bytes
        m += char(0);               // finetune
        m += char(used ? 64 : 0);   // volume
        putBE16(m, 0);              // loop start
        putBE16(m, used ? 16 : 1);  // loop length: the whole sample
    }
    m += char(1);    // song length: one order
    m += char(127);  // restart byte
    std::string orders(128, '\0');
    m += orders;
    m += "M.K.";
    for (int row = 0; row < 64; ++row)
        for (int ch = 0; ch < 4; ++ch) {
            int period = 0, sample = 0, effect = 0, param = 0;
            if (row == 0 && ch == 0) period = 428, sample = 1;  // C-2
            if (row == 0 && ch == 1) period = 214, sample = 1;  // C-3
            if (row == rows - 1 && ch == 3) effect = 0xD;       // pattern break: the end
            m += char((sample & 0xF0) | (period >> 8));
            m += char(period & 0xFF);
            m += char(((sample & 0x0F) << 4) | effect);
            m += char(param);
        }
    for (int i = 0; i < 32; ++i) m += char(i < 16 ? 100 : -100);
    return m;
}

// lame's MP3 of a wave file; false when lame is not there.
inline bool encodeMp3(const std::string& wav, const std::string& mp3) {
    const std::string cmd = "lame --quiet -b 128 '" + wav + "' '" + mp3 + "' 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

inline uint64_t fnv1a(const std::vector<int16_t>& pcm) {
    uint64_t h = 1469598103934665603ull;
    for (int16_t s : pcm)
        for (int b = 0; b < 2; ++b) {
            h ^= uint8_t(uint16_t(s) >> (8 * b));
            h *= 1099511628211ull;
        }
    return h;
}

}  // namespace kv::test
