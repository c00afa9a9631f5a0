#pragma once
// The multimedia player of the main window: plays .wav files through our own reader and
// .mid/.rmi files through FluidSynth, scaled by the wave or the MIDI volume.
#include <string>

#include "tools/music/playback_engine.h"

namespace kv::music {

class MediaPlayer {
public:
    std::string FileName;

    // Opens FileName; false with the reason in error.
    bool Open(std::string& error);
    // Plays the opened file from its start (opens it first when needed).
    bool Play(std::string& error);
    void Stop() { engine_.stop(); }
    void Pause(bool p) { engine_.setPaused(p); }
    // In the decoder's own unit (frames, or ticks for MIDI); length 0 when unknown.
    uint64_t Length() const { return engine_.progress().length; }
    uint64_t Position() const { return engine_.progress().position; }
    PlayState state() const { return engine_.state(); }

private:
    PlaybackEngine engine_;
    std::string opened_;
};

}  // namespace kv::music
