#include "tools/music/mpeg_player.h"

#include <array>
#include <cstring>

namespace kv::music {

using namespace mpeglib;

struct TMPEGPlayer::Entries {
    InitFn init;
    DeinitFn deinit;
    OpenFn open;
    PauseFn pause;
    RestartFn restart;
    StopFn stop;
    SetPriorityFn setPriority;
    SetOutputDeviceFn setOutputDevice;
    PlayFn play;
    CloseFn close;
    GetIntFn getFrequency, getBitrate, getLayer, getPlayerMode;
    GetPosFn getCurrentPos, getLength;
    ResetPlayerModeFn resetPlayerMode;
    SeekFn seek;
    GetIntFn lastError;
};

namespace {

const char* messageFor(int code) {
    switch (code) {
        case 0: return "MPEG library not loaded";
        case 1: return "Internal decoder error";
        case 2: return "Incorrect mode";
        case 3: return "Input stream error";
        case 4: return "Input stream is non-seekable";
        case 5: return "Output device failure";
        case 254: return "Can't play non-specified stream";
        default: return "Internal decoder error";
    }
}

[[noreturn]] void raise(int code) { throw TMPEGError(messageFor(code), uint8_t(code)); }

template <typename Fn>
bool fetch(Module& m, const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(m.resolve(name));
    return out != nullptr;
}

// The stream callbacks the library calls, forwarded to the component's events.
int streamOpen(void* ctx, int* nonseekable) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    bool ns = false;
    const bool ok = p.OnOpenStream ? p.OnOpenStream(p, ns) : false;
    if (nonseekable) *nonseekable = ns ? 1 : 0;
    return ok ? 1 : 0;
}
void streamClose(void* ctx) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    if (p.OnCloseStream) p.OnCloseStream(p);
}
int streamRestart(void* ctx) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    bool res = false;
    if (p.OnRestartStream) p.OnRestartStream(p, res);
    return res ? 1 : 0;
}
int streamRead(void* ctx, void* buffer, uint32_t toRead, uint32_t* read) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    uint32_t got = 0;
    bool res = false;
    if (p.OnReadStream) p.OnReadStream(p, buffer, toRead, got, res);
    if (read) *read = got;
    return res ? 1 : 0;
}
long streamSeek(void* ctx, long bytes, int moveMethod) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    long res = -1;
    if (p.OnSeekStream) p.OnSeekStream(p, bytes, moveMethod, res);
    return res;
}
long streamSize(void* ctx) {
    auto& p = *static_cast<TMPEGPlayer*>(ctx);
    long res = -1;
    if (p.OnGetStreamSize) p.OnGetStreamSize(p, res);
    return res;
}

}  // namespace

int priorityValue(TPlayerPriority p) {
    static constexpr int values[] = {-15, -2, -1, 0, 1, 2, 15};
    return values[static_cast<int>(p)];
}

std::string mpegLibraryFileName(const std::string& path) {
    if (path.empty()) return "mpegdll.dll";
    const char last = path.back();
    if (last == '\\' || last == ':' || last == '/') return path + "mpegdll.dll";
    // A folder written the Unix way gets the Unix separator.
    const bool unix = path.find('/') != std::string::npos && path.find('\\') == std::string::npos;
    return path + (unix ? "/" : "\\") + "mpegdll.dll";
}

TMPEGPlayer::TMPEGPlayer(Loader loader) : loader_(std::move(loader)) {}

TMPEGPlayer::~TMPEGPlayer() {
    try {
        if (loaded()) UnloadLibrary();
    } catch (const TMPEGError&) {
        // Going away: nothing left to tell anyone.
    }
}

void TMPEGPlayer::setTimerFreq(int ms) {
    timerFreq_ = ms;
    if (ms == 0) UseTimer = false;
}

void TMPEGPlayer::setStreamName(const std::string& name) {
    if (opened_ && loaded()) Close();
    streamName_ = name;
}

void TMPEGPlayer::requireLoaded() const {
    if (!module_) raise(0);
}

void TMPEGPlayer::check() {
    lastError_ = e_->lastError();
    if (lastError_ > 0) raise(lastError_);
}

void TMPEGPlayer::LoadLibrary() {
    module_ = loader_ ? loader_(mpegLibraryFileName(PathToDLL)) : nullptr;
    if (!module_) throw TMPEGError("Can't load MPEG library", 0);
    auto e = std::make_unique<Entries>();
    Module& m = *module_;
    const bool all =
        fetch(m, "init", e->init) && fetch(m, "deinit", e->deinit) && fetch(m, "Open", e->open) &&
        fetch(m, "Pause", e->pause) && fetch(m, "Restart", e->restart) && fetch(m, "Stop", e->stop) &&
        fetch(m, "SetPriority", e->setPriority) && fetch(m, "SetOutputDevice", e->setOutputDevice) &&
        fetch(m, "Play", e->play) && fetch(m, "Close", e->close) &&
        fetch(m, "GetFrequency", e->getFrequency) && fetch(m, "GetBitrate", e->getBitrate) &&
        fetch(m, "GetLayer", e->getLayer) && fetch(m, "GetPlayerMode", e->getPlayerMode) &&
        fetch(m, "GetCurrentPos", e->getCurrentPos) && fetch(m, "GetLength", e->getLength) &&
        fetch(m, "ResetPlayerMode", e->resetPlayerMode) && fetch(m, "Seek", e->seek) &&
        fetch(m, "LastError", e->lastError);
    if (!all) {
        module_.reset();
        raise(0);
    }
    e_ = std::move(e);
    if (!e_->init(nullptr)) {
        const int code = e_->lastError();
        e_.reset();
        module_.reset();
        raise(code);
    }
    timerInterval_ = UseTimer ? timerFreq_ : 0;
    timerOn_ = false;
    length_ = 0;
}

void TMPEGPlayer::UnloadLibrary() {
    requireLoaded();
    if (opened_) Close();
    stopTimer();
    e_->deinit();
    e_.reset();
    module_.reset();
}

void TMPEGPlayer::Open() {
    requireLoaded();
    if (opened_) Close();
    if (!FromStream) {
        if (streamName_.empty()) raise(254);
        std::array<char, 512> buffer{};
        std::strncpy(buffer.data(), streamName_.c_str(), buffer.size() - 1);
        e_->open(buffer.data(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    } else {
        e_->open(nullptr, 1, streamOpen, streamClose, streamRestart, streamRead, streamSeek, streamSize,
                 this);
    }
    check();
    opened_ = true;
    PlayedXTimes = 1;
    length_ = e_->getLength(0);
    if (AutoPlay) Play();
}

void TMPEGPlayer::Play() {
    requireLoaded();
    if (paused_) {
        Pause(false);
        return;
    }
    if (playing_) return;
    if (!opened_) Open();
    if (playing_) return;  // AutoPlay started it
    if (PlayedXTimes >= 2) {
        Restart();
        return;
    }
    e_->setPriority(priorityValue(PlayerPriority));
    std::array<char, 260> out{};
    std::strncpy(out.data(), OutFilename.c_str(), out.size() - 1);
    e_->setOutputDevice(deviceCode(), out.data());
    finished_ = false;
    const int r = e_->play(StartPos, EndPos, &finished_);
    check();
    if (r != 0) raise(1);
    playing_ = true;
    ++PlayedXTimes;
    startTimer();
}

void TMPEGPlayer::Restart() {
    requireLoaded();
    if (!opened_) raise(2);
    finished_ = false;
    e_->restart(0);
    check();
    playing_ = true;
    ++PlayedXTimes;
    startTimer();
}

void TMPEGPlayer::Pause(bool p) {
    requireLoaded();
    if (!playing_ || finished_) {
        paused_ = false;
        if (p) raise(2);
        return;
    }
    e_->pause(p ? 0 : 1);
    check();
    paused_ = p;
}

void TMPEGPlayer::Close() {
    requireLoaded();
    opened_ = playing_ = paused_ = false;
    PlayedXTimes = 0;
    e_->close();
}

int TMPEGPlayer::Position() {
    requireLoaded();
    return e_->getCurrentPos(0);
}

int TMPEGPlayer::Length() {
    requireLoaded();
    return e_->getLength(0);
}

void TMPEGPlayer::startTimer() {
    if (!UseTimer || timerFreq_ == 0) return;
    timerInterval_ = timerFreq_;
    timerOn_ = true;
    if (StartTimer) StartTimer(timerInterval_);
    TimerTick();  // one report at once, not a tick later
}

void TMPEGPlayer::stopTimer() {
    if (!timerOn_) return;
    timerOn_ = false;
    if (StopTimer) StopTimer();
}

void TMPEGPlayer::TimerTick() {
    if (!loaded() || !opened_ || !playing_) {
        stopTimer();
        return;
    }
    const int pos = e_->getCurrentPos(0);
    if (OnPosUpdate) OnPosUpdate(pos > length_ ? 0 : pos, length_);
    if (finished_) {
        stopTimer();
        playing_ = false;
        if (OnPlayEnd) {
            finished_ = false;
            OnPlayEnd(*this);
        }
    }
}

}  // namespace kv::music
