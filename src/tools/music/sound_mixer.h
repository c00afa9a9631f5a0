#pragma once
// The program's three volume channels (0 CD/auxiliary, 1 wave, 2 MIDI), kept as the old
// device words: left channel in the low 16 bits, right in the high 16. Our players scale
// their own frames by their channel, so the desktop's master volume is never touched.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>

namespace kv::music {

// 0..255 from a device word: the average of both channels.
constexpr int volumeFromDeviceWord(uint32_t word) { return int(((word & 0xFFFFu) + (word >> 16)) >> 9); }
// Both channels at v × 256.
constexpr uint32_t deviceWordFromVolume(int v) { return uint32_t(std::clamp(v, 0, 255)) * 0x01000100u; }

enum VolumeChannel { kCdChannel = 0, kWaveChannel = 1, kMidiChannel = 2 };

class SoundMixer {
public:
    explicit SoundMixer(int initialVolume = 192) {
        for (auto& w : words_) w = deviceWordFromVolume(initialVolume);
    }
    int volume(int channel) const {
        return valid(channel) ? volumeFromDeviceWord(words_[size_t(channel)]) : 0;
    }
    void setVolume(int channel, int v) {
        if (valid(channel)) words_[size_t(channel)] = deviceWordFromVolume(v);
    }
    uint32_t deviceWord(int channel) const { return valid(channel) ? uint32_t(words_[size_t(channel)]) : 0; }
    void setDeviceWord(int channel, uint32_t w) {
        if (valid(channel)) words_[size_t(channel)] = w;
    }
    // What a player multiplies its samples by, in 1/65536 steps.
    const std::atomic<uint32_t>* word(int channel) const {
        return valid(channel) ? &words_[size_t(channel)] : nullptr;
    }

private:
    static bool valid(int c) { return c >= 0 && c < 3; }
    std::array<std::atomic<uint32_t>, 3> words_;
};

// The program's one mixer.
SoundMixer& soundMixer();

}  // namespace kv::music
