#include "tools/music/wav_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <vector>

#include "archive/base/util.h"

namespace kv::music {

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

struct WaveLayout {
    uint16_t format = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    uint16_t blockAlign = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
};

class WavSource final : public PcmSource {
public:
    WavSource(std::ifstream file, const WaveLayout& w) : file_(std::move(file)), w_(w) {
        frames_ = w_.dataBytes / w_.blockAlign;
        rewind();
    }
    PcmFormat format() const override { return {int(w_.rate), std::min<int>(w_.channels, 2)}; }
    uint64_t lengthFrames() const override { return frames_; }

    bool rewind() override {
        file_.clear();
        file_.seekg(std::streamoff(w_.dataOffset));
        framesRead_ = 0;
        return bool(file_);
    }

    size_t read(int16_t* out, size_t frames) override {
        const uint64_t left = frames_ - framesRead_;
        frames = size_t(std::min<uint64_t>(frames, left));
        if (frames == 0) return 0;
        raw_.resize(frames * w_.blockAlign);
        file_.read(reinterpret_cast<char*>(raw_.data()), std::streamsize(raw_.size()));
        const size_t got = size_t(file_.gcount()) / w_.blockAlign;
        const int outChannels = format().channels;
        const int bytes = w_.bits / 8;
        for (size_t f = 0; f < got; ++f) {
            const uint8_t* frame = raw_.data() + f * w_.blockAlign;
            for (int c = 0; c < outChannels; ++c) *out++ = sample(frame + c * bytes);
        }
        framesRead_ += got;
        if (got < frames) frames_ = framesRead_;  // the file shrank under us
        return got;
    }

private:
    int16_t sample(const uint8_t* p) const {
        if (w_.format == kFormatFloat) {
            float v;
            std::memcpy(&v, p, 4);
            if (!std::isfinite(v)) return 0;
            return int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f));
        }
        switch (w_.bits) {
            case 8: return int16_t((int(p[0]) - 128) << 8);  // 8-bit wave data is unsigned
            case 16: return int16_t(le16(p));
            case 24: return int16_t(le16(p + 1));
            default: return int16_t(le16(p + 2));
        }
    }

    std::ifstream file_;
    WaveLayout w_;
    uint64_t frames_ = 0;
    std::vector<uint8_t> raw_;
};

// Reads the fmt chunk's fields; false when they describe nothing we can play.
bool parseFormat(const uint8_t* p, uint32_t size, WaveLayout& w, std::string& error) {
    if (size < 16) {
        error = "The wave file's format chunk is too short";
        return false;
    }
    w.format = le16(p);
    w.channels = le16(p + 2);
    w.rate = le32(p + 4);
    w.blockAlign = le16(p + 12);
    w.bits = le16(p + 14);
    if (w.format == kFormatExtensible) {
        if (size < 40) {
            error = "The wave file's extensible format chunk is too short";
            return false;
        }
        w.format = le16(p + 24);  // the sub-format GUID starts with the old format code
    }
    const bool pcm = w.format == kFormatPcm && (w.bits == 8 || w.bits == 16 || w.bits == 24 || w.bits == 32);
    const bool flt = w.format == kFormatFloat && w.bits == 32;
    if (!pcm && !flt) {
        error = "The wave file is compressed or has a sample format that cannot be played";
        return false;
    }
    if (w.channels == 0 || w.rate < 1000 || w.rate > 384000) {
        error = "The wave file's channel count or sample rate is not valid";
        return false;
    }
    if (w.blockAlign != uint32_t(w.channels) * (w.bits / 8)) {
        error = "The wave file's block size does not match its channels and sample size";
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<PcmSource> openWav(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "Cannot open " + path;
        return nullptr;
    }
    file.seekg(0, std::ios::end);
    const uint64_t fileSize = uint64_t(std::max<std::streamoff>(0, file.tellg()));
    file.seekg(0);
    uint8_t head[12];
    if (!file.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        error = "Not a RIFF WAVE file";
        return nullptr;
    }
    // The RIFF size may be off (many writers get it wrong); the file's own size is what binds.
    WaveLayout w;
    bool haveFormat = false;
    uint64_t pos = 12;
    while (pos + 8 <= fileSize) {
        uint8_t ch[8];
        file.seekg(std::streamoff(pos));
        if (!file.read(reinterpret_cast<char*>(ch), 8)) break;
        const uint32_t size = le32(ch + 4);
        uint64_t body = 0;
        if (!checkedAdd(pos, 8, body)) break;
        if (std::memcmp(ch, "data", 4) == 0) {
            if (!haveFormat) {
                error = "The wave file has its data before its format";
                return nullptr;
            }
            w.dataOffset = body;
            w.dataBytes = std::min<uint64_t>(size, fileSize - body);  // cut-off recordings play to the end
            w.dataBytes -= w.dataBytes % w.blockAlign;
            return std::make_unique<WavSource>(std::move(file), w);
        }
        if (!rangeInside(body, size, fileSize)) {
            error = "The wave file is damaged: a chunk runs past its end";
            return nullptr;
        }
        if (std::memcmp(ch, "fmt ", 4) == 0) {
            std::vector<uint8_t> fmt(std::min<uint32_t>(size, 64));  // all we read of it
            if (!file.read(reinterpret_cast<char*>(fmt.data()), std::streamsize(fmt.size()))) break;
            if (!parseFormat(fmt.data(), uint32_t(fmt.size()), w, error)) return nullptr;
            haveFormat = true;
        }
        uint64_t next = 0;
        if (!checkedAdd(body, uint64_t(size) + (size & 1), next)) break;  // chunks are word-aligned
        pos = next;
    }
    error = haveFormat ? "The wave file has no sound data" : "The wave file has no format chunk";
    return nullptr;
}

}  // namespace kv::music
