#include "tools/music/sound_mixer.h"

namespace kv::music {

SoundMixer& soundMixer() {
    static SoundMixer mixer;
    return mixer;
}

}  // namespace kv::music
