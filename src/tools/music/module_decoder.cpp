// Tracker modules through libopenmpt.
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "tools/music/decoders.h"

namespace kv::music {

namespace {

constexpr int kRate = 44100;

std::unique_ptr<openmpt::module> makeModule(const std::vector<char>& bytes, bool loop) {
    // The library's own log goes nowhere: a broken module is reported by the caller.
    std::ostringstream quiet;
    auto m = std::make_unique<openmpt::module>(bytes, quiet);
    m->set_repeat_count(loop ? -1 : 0);
    m->ctl_set_integer("dither", 0);  // random dither would make each play a different sound
    return m;
}

class ModuleSource final : public PcmSource {
public:
    ModuleSource(std::vector<char> bytes, bool loop) : bytes_(std::move(bytes)), loop_(loop) {
        module_ = makeModule(bytes_, loop_);
        length_ = uint64_t(std::llround(std::max(0.0, module_->get_duration_seconds()) * kRate));
    }
    PcmFormat format() const override { return {kRate, 2}; }
    uint64_t lengthFrames() const override { return length_; }
    // The last notes ring a little past the song's end; the position stops at the length.
    Progress progress() const override { return {std::min(framesRead_, length_), length_}; }
    bool rewind() override {
        // A new module: seeking back leaves the channels' state of the end behind.
        module_ = makeModule(bytes_, loop_);
        framesRead_ = 0;
        return true;
    }
    size_t read(int16_t* out, size_t frames) override {
        const size_t got = module_->read_interleaved_stereo(kRate, frames, out);
        framesRead_ += got;
        return got;
    }

private:
    std::vector<char> bytes_;
    bool loop_;
    std::unique_ptr<openmpt::module> module_;
    uint64_t length_ = 0;
};

}  // namespace

std::unique_ptr<PcmSource> openModule(const std::string& path, std::string& error, bool loop) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "Cannot open " + path;
        return nullptr;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    try {
        return std::make_unique<ModuleSource>(std::move(bytes), loop);
    } catch (const std::exception& e) {
        error = std::string("Not a module that can be played: ") + e.what();
        return nullptr;
    }
}

}  // namespace kv::music
