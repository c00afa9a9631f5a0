#pragma once
// The decoders that stand on outside libraries: tracker modules (libopenmpt), MPEG audio
// (libmpg123) and MIDI (FluidSynth with a General MIDI sound font). Each answers null with
// the reason in error when the file cannot be played.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/music/pcm_source.h"

namespace kv::music {

std::unique_ptr<PcmSource> openModule(const std::string& path, std::string& error, bool loop = false);

// What an MPEG stream says about itself.
struct MpegInfo {
    int rate = 0;
    int bitrateKbps = 0;
    int layer = 0;
};

class MpegSource : public PcmSource {
public:
    virtual MpegInfo info() const = 0;
};

std::unique_ptr<MpegSource> openMpeg(const std::string& path, std::string& error);

// An MPEG stream read through callbacks instead of a file (the players' stream mode).
struct StreamCallbacks {
    std::function<long(void* buffer, long bytes)> read;  // bytes read, -1 on error
    std::function<long(long offset, int whence)> seek;   // new position, -1 when it cannot
    std::function<long()> size;                          // -1 when unknown
};
std::unique_ptr<MpegSource> openMpegStream(StreamCallbacks callbacks, std::string& error);

// The General MIDI sound font FluidSynth plays with.
inline const char* kGeneralMidiSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
std::unique_ptr<PcmSource> openMidi(const std::string& path, std::string& error,
                                    const std::string& soundFont = kGeneralMidiSoundFont);

}  // namespace kv::music
