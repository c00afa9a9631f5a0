#include "tools/music/media_player.h"

#include <algorithm>

#include "tools/music/decoders.h"
#include "tools/music/sound_mixer.h"
#include "tools/music/wav_reader.h"

namespace kv::music {

namespace {
bool isMidi(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return name.ends_with(".mid") || name.ends_with(".rmi") || name.ends_with(".midi");
}
}  // namespace

bool MediaPlayer::Open(std::string& error) {
    engine_.stop();
    const bool midi = isMidi(FileName);
    auto source = midi ? openMidi(FileName, error) : openWav(FileName, error);
    if (!source) {
        opened_.clear();
        engine_.load(nullptr);
        return false;
    }
    engine_.load(std::move(source), soundMixer().word(midi ? kMidiChannel : kWaveChannel));
    opened_ = FileName;
    return true;
}

bool MediaPlayer::Play(std::string& error) {
    if ((opened_ != FileName || !engine_.hasSource()) && !Open(error)) return false;
    if (!engine_.restart()) {
        error = "Cannot play " + FileName;
        return false;
    }
    return true;
}

}  // namespace kv::music
