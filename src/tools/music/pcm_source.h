#pragma once
// A decoded sound: interleaved signed 16-bit frames at a fixed rate, read in pieces.
// Every decoder (wave files, tracker modules, MPEG audio, MIDI, CD audio) is one of these,
// so one playback engine and one sound output serve them all.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace kv::music {

struct PcmFormat {
    int rate = 44100;
    int channels = 2;  // 1 or 2
    bool operator==(const PcmFormat&) const = default;
};

// How far a sound has played, in a unit of its own (frames for most, MIDI ticks for MIDI);
// length 0 when the decoder cannot tell.
struct Progress {
    uint64_t position = 0;
    uint64_t length = 0;
};

class PcmSource {
public:
    virtual ~PcmSource() = default;
    virtual PcmFormat format() const = 0;
    // Fills out with up to frames frames; 0 at the end of the sound.
    virtual size_t read(int16_t* out, size_t frames) = 0;
    // Back to the start; false when the decoder cannot.
    virtual bool rewind() = 0;
    // To that frame; false when the decoder cannot seek.
    virtual bool seekFrames(uint64_t) { return false; }
    // Length in frames at format().rate; 0 when unknown.
    virtual uint64_t lengthFrames() const = 0;
    // Position and length as the decoder counts them; by default the frames read.
    virtual Progress progress() const { return {framesRead_, lengthFrames()}; }

protected:
    uint64_t framesRead_ = 0;  // decoders add what each read delivered
};

}  // namespace kv::music
