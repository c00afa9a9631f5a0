#pragma once
// An audio CD drive as the CD player window sees it: its mode, the tracks and their
// lengths, the position, and the player's commands. The system's drive plays by digital
// extraction (libcdio-paranoia) into the sound output, scaled by the CD volume; without a
// drive or a disc it simply reports so.
#include <memory>

namespace kv::music {

enum class CdMode { NotReady = 0, Stopped, Playing, Recording, Seeking, Paused, Open };

struct CdTime {
    int minutes = 0, seconds = 0, frames = 0;  // 75 frames a second
};
struct CdPosition {
    int track = 0;
    int minutes = 0, seconds = 0;  // inside the track
};

class CdDrive {
public:
    virtual ~CdDrive() = default;
    virtual CdMode mode() = 0;
    virtual int trackCount() = 0;
    virtual CdTime trackLength(int track) = 0;  // tracks from 1
    virtual CdPosition position() = 0;
    virtual void play(int track) = 0;  // from the start of the track, on to the disc's end
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    virtual void eject() = 0;
};

// The first CD drive of the system, or one that reports "Not ready" when there is none.
std::unique_ptr<CdDrive> openSystemCdDrive();

}  // namespace kv::music
