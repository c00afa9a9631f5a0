#pragma once
// Plays one PcmSource into a SoundOutput on a worker thread of its own, so decoding never
// runs on the window's thread. The window asks for the state and the progress whenever it
// likes; the worker only writes the engine's own atomics and the finished flag it was given.
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "tools/music/pcm_source.h"
#include "tools/music/sound_output.h"

namespace kv::music {

enum class PlayState { Idle, Playing, Paused, Finished };

class PlaybackEngine {
public:
    // Frames go to outputs the factory makes (one per start); empty: the program's output.
    explicit PlaybackEngine(SoundOutputFactory factory = {});
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Stops what plays and plays the source from where it stands. volume: the mixer's
    // device word to scale by (null: full); finished: also set when the sound ends.
    // False when the output refuses the source's format.
    bool start(std::unique_ptr<PcmSource> source, const std::atomic<uint32_t>* volume = nullptr,
               std::atomic<bool>* finished = nullptr);
    // Stops what plays and keeps the source for restart(), not playing it yet.
    void load(std::unique_ptr<PcmSource> source, const std::atomic<uint32_t>* volume = nullptr,
              std::atomic<bool>* finished = nullptr);
    // The same source again from its start; false when there is none or it cannot rewind.
    bool restart();
    // Stops the worker; the source is kept for restart().
    void stop();
    void setPaused(bool paused);

    PlayState state() const { return state_; }
    bool hasSource() const { return source_ != nullptr; }
    Progress progress() const;
    PcmFormat format() const;

private:
    void run();

    SoundOutputFactory factory_;
    std::unique_ptr<PcmSource> source_;
    std::unique_ptr<SoundOutput> output_;
    const std::atomic<uint32_t>* volume_ = nullptr;
    std::atomic<bool>* finished_ = nullptr;
    mutable std::mutex sourceLock_;  // the worker reads the source, the window its progress
    std::thread worker_;
    std::atomic<bool> stopping_{false};
    std::atomic<PlayState> state_{PlayState::Idle};
};

}  // namespace kv::music
