#pragma once
// The program's sound output over Qt Multimedia's QAudioSink, which reaches the desktop's
// sound server (PulseAudio, or PipeWire through its PulseAudio service). Each output's sink
// lives on one audio thread of the program and pulls frames from a ring the decoding
// thread fills, so neither the window's thread nor a busy decoder makes the sound stutter.
// Where there is no output device, installQtSoundOutput leaves the silent null output.
#include <memory>

#include "tools/music/sound_output.h"

namespace kv::sound {

// A new output on the default device; null when the machine has none.
std::unique_ptr<music::SoundOutput> makeQtSoundOutput();
// Makes the program's sound output the Qt one (call once a Qt application exists).
void installQtSoundOutput();

}  // namespace kv::sound
