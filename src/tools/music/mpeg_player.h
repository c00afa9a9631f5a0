#pragma once
// TMPEGPlayer: the MPEG audio player component over the MPEG library (mpeg_library.h).
// It loads the library, fetches its entry points by name, and turns every error the
// library reports into a TMPEGError. Its position timer is the host's (a window timer):
// the host starts and stops it through StartTimer/StopTimer and calls TimerTick.
#include <atomic>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "tools/music/mpeg_library.h"

namespace kv::music {

class TMPEGError : public std::runtime_error {
public:
    TMPEGError(const std::string& message, uint8_t code) : std::runtime_error(message), code_(code) {}
    uint8_t code() const { return code_; }

private:
    uint8_t code_;
};

enum class TPlayerPriority { Idle, Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };
// The value the library is given: -15, -2, -1, 0, 1, 2, 15.
int priorityValue(TPlayerPriority p);
enum class TOutputDevice { WaveMapper, PcmFile };

// The library's file: the folder, a backslash unless it already ends in one or a colon, the name.
std::string mpegLibraryFileName(const std::string& pathToDll);

class TMPEGPlayer {
public:
    explicit TMPEGPlayer(mpeglib::Loader loader = mpeglib::loadBuiltIn);
    ~TMPEGPlayer();
    TMPEGPlayer(const TMPEGPlayer&) = delete;
    TMPEGPlayer& operator=(const TMPEGPlayer&) = delete;

    // Published properties.
    bool Seekable = true;
    bool FromStream = false;
    TPlayerPriority PlayerPriority = TPlayerPriority::Normal;
    bool UseTimer = true;
    bool AutoPlay = false;
    TOutputDevice OutputDevice = TOutputDevice::WaveMapper;
    std::string OutFilename;
    std::string PathToDLL;
    int StartPos = 0;
    int EndPos = 0;
    int PlayedXTimes = 0;

    int timerFreq() const { return timerFreq_; }
    void setTimerFreq(int ms);  // 0 also switches UseTimer off
    const std::string& streamName() const { return streamName_; }
    void setStreamName(const std::string& name);  // closes an open stream

    // Stream-mode events; the context is this component.
    std::function<bool(TMPEGPlayer&, bool& nonseekable)> OnOpenStream;
    std::function<void(TMPEGPlayer&)> OnCloseStream;
    std::function<void(TMPEGPlayer&, bool& res)> OnRestartStream;
    std::function<void(TMPEGPlayer&, void* buffer, uint32_t toRead, uint32_t& read, bool& res)> OnReadStream;
    std::function<void(TMPEGPlayer&, long bytes, int moveMethod, long& res)> OnSeekStream;
    std::function<void(TMPEGPlayer&, long& res)> OnGetStreamSize;
    std::function<void(int pos, int len)> OnPosUpdate;
    std::function<void(TMPEGPlayer&)> OnPlayEnd;

    // The host's position timer.
    std::function<void(int intervalMs)> StartTimer;
    std::function<void()> StopTimer;
    void TimerTick();

    void LoadLibrary();
    void UnloadLibrary();
    void Open();
    void Play();
    void Restart();
    void Pause(bool p);
    void Close();
    int Position();
    int Length();

    bool loaded() const { return module_ != nullptr; }
    bool opened() const { return opened_; }
    bool playing() const { return playing_; }
    bool paused() const { return paused_; }
    bool finished() const { return finished_; }
    int lastError() const { return lastError_; }
    int timerInterval() const { return timerInterval_; }
    // Device code for SetOutputDevice: 2 for a PCM file with a name, else 0.
    int deviceCode() const { return OutputDevice == TOutputDevice::PcmFile && !OutFilename.empty() ? 2 : 0; }

private:
    struct Entries;
    void requireLoaded() const;
    void check();  // raises what LastError reports
    void startTimer();
    void stopTimer();

    mpeglib::Loader loader_;
    std::unique_ptr<mpeglib::Module> module_;
    std::unique_ptr<Entries> e_;
    std::string streamName_;
    int timerFreq_ = 100;
    int timerInterval_ = 0;
    bool timerOn_ = false;
    bool opened_ = false;
    bool playing_ = false;
    bool paused_ = false;
    std::atomic<bool> finished_{false};  // written by the library's thread
    int length_ = 0;
    int lastError_ = 0;
};

}  // namespace kv::music
