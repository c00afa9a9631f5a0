#pragma once
// Where decoded frames go. The program's sound output (the Qt one over the desktop's sound
// server) is installed once at start; until then, and on machines without a sound device,
// frames go to a null output that keeps time and stays silent, so playing never fails for
// want of a device.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "tools/music/pcm_source.h"

namespace kv::music {

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Prepares for frames of this format; false when the device refuses it.
    virtual bool open(PcmFormat format) = 0;
    // Hands frames over, waiting while the device's buffer is full; false once aborted.
    virtual bool write(const int16_t* frames, size_t count) = 0;
    // Waits until every frame written has been heard (or the output is aborted).
    virtual void drain() = 0;
    // From any thread: wakes a waiting write or drain and drops what is still buffered.
    virtual void abort() = 0;
    virtual void setPaused(bool paused) = 0;
};

using SoundOutputFactory = std::function<std::unique_ptr<SoundOutput>()>;

// Silent; keeps real time when paced (as a device would), else takes frames at once.
class NullOutput final : public SoundOutput {
public:
    explicit NullOutput(bool paced = true) : paced_(paced) {}
    bool open(PcmFormat format) override;
    bool write(const int16_t* frames, size_t count) override;
    void drain() override {}
    void abort() override;
    void setPaused(bool paused) override;
    uint64_t framesTaken() const { return taken_; }

private:
    bool paced_;
    PcmFormat format_;
    std::mutex m_;
    std::condition_variable wake_;
    bool aborted_ = false;
    bool paused_ = false;
    std::atomic<uint64_t> taken_{0};
};

// Raw interleaved 16-bit little-endian frames into a file, as fast as they come.
class PcmFileOutput final : public SoundOutput {
public:
    explicit PcmFileOutput(std::string path) : path_(std::move(path)) {}
    bool open(PcmFormat format) override;
    bool write(const int16_t* frames, size_t count) override;
    void drain() override { file_.flush(); }
    void abort() override { aborted_ = true; }
    void setPaused(bool) override {}

private:
    std::string path_;
    std::ofstream file_;
    int channels_ = 2;
    std::atomic<bool> aborted_{false};
};

// The program's sound output; by default a paced null output.
void setSoundOutputFactory(SoundOutputFactory factory);
std::unique_ptr<SoundOutput> makeSoundOutput();

}  // namespace kv::music
