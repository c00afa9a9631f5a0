// MIDI files rendered by FluidSynth with a General MIDI sound font; where either is
// missing the caller gets a message that says what to install.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "archive/base/util.h"

#include "tools/music/decoders.h"

#ifdef KV_HAVE_FLUIDSYNTH
#include <fluidsynth.h>
#endif

namespace kv::music {

#ifdef KV_HAVE_FLUIDSYNTH
namespace {

constexpr int kRate = 44100;

class MidiSource final : public PcmSource {
public:
    MidiSource(std::vector<char> song, fluid_settings_t* settings, fluid_synth_t* synth)
        : song_(std::move(song)), settings_(settings), synth_(synth) {}
    ~MidiSource() override {
        if (player_) delete_fluid_player(player_);
        delete_fluid_synth(synth_);
        delete_fluid_settings(settings_);
    }
    bool load() {
        player_ = new_fluid_player(synth_);
        return player_ && fluid_player_add_mem(player_, song_.data(), song_.size()) == FLUID_OK &&
               fluid_player_play(player_) == FLUID_OK;
    }
    PcmFormat format() const override { return {kRate, 2}; }
    uint64_t lengthFrames() const override { return 0; }  // known in ticks only
    Progress progress() const override {
        const int total = fluid_player_get_total_ticks(player_);
        const int now = fluid_player_get_current_tick(player_);
        return {uint64_t(std::max(0, now)), uint64_t(std::max(0, total))};
    }
    bool rewind() override {
        delete_fluid_player(player_);
        fluid_synth_system_reset(synth_);
        framesRead_ = 0;
        return load();
    }
    size_t read(int16_t* out, size_t frames) override {
        if (fluid_player_get_status(player_) != FLUID_PLAYER_PLAYING) {
            // The notes still sounding fade out over a short tail, then the sound ends.
            if (tail_ >= kRate / 2) return 0;
            tail_ += frames;
        }
        fluid_synth_write_s16(synth_, int(frames), out, 0, 2, out, 1, 2);
        framesRead_ += frames;
        return frames;
    }

private:
    std::vector<char> song_;
    fluid_settings_t* settings_;
    fluid_synth_t* synth_;
    fluid_player_t* player_ = nullptr;
    size_t tail_ = 0;
};

uint32_t le32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// The standard MIDI file itself: a .mid as it is, a .rmi's "data" chunk out of its RIFF
// wrapping (every chunk size checked against the file). Empty when there is none.
std::vector<char> standardMidiFile(const std::string& path) {
    constexpr uint64_t kLargest = 16u << 20;  // far beyond any song; keeps memory bounded
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file;
    if (!in) return file;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size <= 0 || uint64_t(size) > kLargest) return {};
    in.seekg(0);
    file.resize(size_t(size));
    if (!in.read(file.data(), size)) return {};
    if (file.size() >= 12 && std::memcmp(file.data(), "RIFF", 4) == 0 &&
        std::memcmp(file.data() + 8, "RMID", 4) == 0) {
        uint64_t pos = 12;
        while (pos + 8 <= file.size()) {
            const uint32_t len = le32(file.data() + pos + 4);
            if (!rangeInside(pos + 8, len, file.size())) return {};
            if (std::memcmp(file.data() + pos, "data", 4) == 0)
                return {file.begin() + std::ptrdiff_t(pos + 8), file.begin() + std::ptrdiff_t(pos + 8 + len)};
            pos += 8 + uint64_t(len) + (len & 1);
        }
        return {};
    }
    return file;
}

}  // namespace
#endif

std::unique_ptr<PcmSource> openMidi(const std::string& path, std::string& error,
                                    const std::string& soundFont) {
#ifdef KV_HAVE_FLUIDSYNTH
    std::error_code ec;
    if (!std::filesystem::is_regular_file(soundFont, ec)) {
        error =
            "MIDI files need a General MIDI sound font: " + soundFont + " is missing (fluid-soundfont-gm)";
        return nullptr;
    }
    std::vector<char> song = standardMidiFile(path);
    if (song.size() < 14 || std::memcmp(song.data(), "MThd", 4) != 0) {
        error = "Not a MIDI file that can be played: " + path;
        return nullptr;
    }
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, nullptr, nullptr);  // its messages are not for the user's eyes
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", kRate);
    fluid_synth_t* synth = new_fluid_synth(settings);
    auto source = std::make_unique<MidiSource>(std::move(song), settings, synth);
    if (fluid_synth_sfload(synth, soundFont.c_str(), 1) == FLUID_FAILED) {
        error = "The sound font " + soundFont + " cannot be loaded";
        return nullptr;
    }
    if (!source->load()) {
        error = "Not a MIDI file that can be played: " + path;
        return nullptr;
    }
    return source;
#else
    (void)path;
    (void)soundFont;
    error = "MIDI files need FluidSynth, which this build of the program was made without";
    return nullptr;
#endif
}

}  // namespace kv::music
