// The built-in MPEG audio library: one process-wide player, as the old library had.
#include "tools/music/mpeg_library.h"

#include <cstring>
#include <map>
#include <mutex>

#include "tools/music/decoders.h"
#include "tools/music/playback_engine.h"
#include "tools/music/sound_mixer.h"

namespace kv::music::mpeglib {

namespace {

// Plays an MPEG source from one frame to another, and says when the range has ended.
class RangeSource final : public PcmSource {
public:
    RangeSource(MpegSource& inner, uint64_t endFrame) : inner_(inner), end_(endFrame) {}
    PcmFormat format() const override { return inner_.format(); }
    uint64_t lengthFrames() const override { return inner_.lengthFrames(); }
    Progress progress() const override { return inner_.progress(); }
    bool rewind() override { return inner_.rewind(); }
    bool seekFrames(uint64_t f) override { return inner_.seekFrames(f); }
    size_t read(int16_t* out, size_t frames) override {
        const uint64_t at = inner_.progress().position;
        if (end_ && at >= end_) return 0;
        if (end_) frames = size_t(std::min<uint64_t>(frames, end_ - at));
        return inner_.read(out, frames);
    }

private:
    MpegSource& inner_;
    uint64_t end_;
};

struct Stream {
    StreamOpenFn open = nullptr;
    StreamCloseFn close = nullptr;
    StreamRestartFn restart = nullptr;
    StreamReadFn read = nullptr;
    StreamSeekFn seek = nullptr;
    StreamSizeFn size = nullptr;
    void* ctx = nullptr;
};

struct Library {
    std::recursive_mutex lock;
    bool ready = false;
    int lastError = 0;
    int device = 0;
    std::string pcmFile;
    int priority = 0;
    bool streamMode = false;
    Stream stream;
    std::unique_ptr<MpegSource> source;  // what was opened; the engine plays through a range
    MpegInfo info;
    std::unique_ptr<PlaybackEngine> engine;
    bool paused = false;
};
Library& lib() {
    static Library l;
    return l;
}

int toMs(uint64_t frames, int rate) { return rate > 0 ? int(frames * 1000 / uint64_t(rate)) : 0; }
uint64_t toFrames(int ms, int rate) { return ms > 0 ? uint64_t(ms) * uint64_t(rate) / 1000 : 0; }

bool fail(int code) {
    lib().lastError = code;
    return false;
}

void stopEngine(Library& l) {
    if (l.engine) l.engine->stop();
    l.engine.reset();
    l.paused = false;
}

StreamCallbacks streamCallbacks(const Stream& s) {
    StreamCallbacks cb;
    cb.read = [s](void* buffer, long bytes) -> long {
        uint32_t got = 0;
        if (!s.read || !s.read(s.ctx, buffer, uint32_t(bytes), &got)) return -1;
        return long(std::min<uint32_t>(got, uint32_t(bytes)));
    };
    cb.seek = [s](long offset, int whence) -> long { return s.seek ? s.seek(s.ctx, offset, whence) : -1; };
    cb.size = [s]() -> long { return s.size ? s.size(s.ctx) : -1; };
    return cb;
}

bool openSource(Library& l, const std::string& name) {
    std::string error;
    l.source = l.streamMode ? openMpegStream(streamCallbacks(l.stream), error) : openMpeg(name, error);
    if (!l.source) return fail(3);
    l.info = l.source->info();
    return true;
}

int init(void*) {
    std::lock_guard g(lib().lock);
    lib().lastError = 0;
    lib().ready = true;
    return 1;
}

void closeStream(Library& l) {
    stopEngine(l);
    l.source.reset();
    if (l.streamMode && l.stream.close) l.stream.close(l.stream.ctx);
    l.streamMode = false;
    l.stream = {};
}

void deinit() {
    std::lock_guard g(lib().lock);
    closeStream(lib());
    lib().ready = false;
}

int open(const char* nameBuffer, int streamMode, StreamOpenFn o, StreamCloseFn c, StreamRestartFn r,
         StreamReadFn rd, StreamSeekFn sk, StreamSizeFn sz, void* ctx) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    l.lastError = 0;
    if (!l.ready) return fail(2);
    closeStream(l);
    std::string name;
    if (!streamMode) {
        if (!nameBuffer) return fail(3);
        name.assign(nameBuffer, strnlen(nameBuffer, 512));
    } else {
        l.stream = {o, c, r, rd, sk, sz, ctx};
        l.streamMode = true;
        int nonseekable = 0;
        if (!o || !o(ctx, &nonseekable)) {
            l.stream = {};
            l.streamMode = false;
            return fail(3);
        }
    }
    return openSource(l, name) ? 1 : 0;
}

void pause(int play) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    l.lastError = 0;
    if (!l.engine) {
        fail(2);
        return;
    }
    l.engine->setPaused(!play);
    l.paused = !play;
}

void restart(int) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    l.lastError = 0;
    if (!l.source) {
        fail(2);
        return;
    }
    if (l.streamMode && !l.source->rewind()) {
        // A stream that cannot seek starts over through its owner and is decoded anew.
        if (!l.stream.restart || !l.stream.restart(l.stream.ctx)) {
            fail(4);
            return;
        }
        if (!openSource(l, {})) return;
    }
    if (!l.engine || !l.engine->restart()) fail(1);
}

void stop() {
    std::lock_guard g(lib().lock);
    lib().lastError = 0;
    stopEngine(lib());
}

void setPriority(int p) {
    std::lock_guard g(lib().lock);
    lib().priority = p;  // the worker keeps the normal priority: decoding takes a few per cent
}

void setOutputDevice(int device, const char* fileBuffer) {
    std::lock_guard g(lib().lock);
    lib().device = device;
    lib().pcmFile = fileBuffer ? std::string(fileBuffer, strnlen(fileBuffer, 260)) : std::string();
}

int play(int startPos, int endPos, std::atomic<bool>* finished) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    l.lastError = 0;
    if (!l.source) return fail(2), 1;
    stopEngine(l);
    const int rate = l.source->format().rate;
    if (startPos > 0 && !l.source->seekFrames(toFrames(startPos, rate))) return fail(4), 1;
    SoundOutputFactory factory;
    if (l.device == 2) {
        const std::string file = l.pcmFile;
        factory = [file]() -> std::unique_ptr<SoundOutput> { return std::make_unique<PcmFileOutput>(file); };
        if (!PcmFileOutput(file).open(l.source->format())) return fail(5), 1;
    }
    l.engine = std::make_unique<PlaybackEngine>(factory);
    auto range = std::make_unique<RangeSource>(*l.source, toFrames(endPos, rate));
    // A PCM file gets the decoded frames as they are; the wave volume is for the speakers.
    const std::atomic<uint32_t>* volume = l.device == 2 ? nullptr : soundMixer().word(kWaveChannel);
    if (!l.engine->start(std::move(range), volume, finished)) return fail(5), 1;
    return 0;
}

void close() {
    std::lock_guard g(lib().lock);
    lib().lastError = 0;
    closeStream(lib());
}

int getFrequency() {
    std::lock_guard g(lib().lock);
    return lib().source ? lib().info.rate : 0;
}
int getBitrate() {
    std::lock_guard g(lib().lock);
    return lib().source ? lib().info.bitrateKbps : 0;
}
int getLayer() {
    std::lock_guard g(lib().lock);
    return lib().source ? lib().info.layer : 0;
}
int getPlayerMode() {
    Library& l = lib();
    std::lock_guard g(l.lock);
    if (!l.engine) return kModeStopped;
    switch (l.engine->state()) {
        case PlayState::Playing: return kModePlaying;
        case PlayState::Paused: return kModePaused;
        case PlayState::Finished: return kModeFinished;
        default: return kModeStopped;
    }
}
int getCurrentPos(int) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    if (!l.source) return 0;
    // While the engine's worker reads the source, only the engine may ask it.
    const Progress p = l.engine ? l.engine->progress() : l.source->progress();
    return toMs(p.position, l.source->format().rate);
}
int getLength(int) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    if (!l.source) return 0;
    return toMs(l.source->lengthFrames(), l.source->format().rate);
}
void resetPlayerMode() {
    std::lock_guard g(lib().lock);
    stopEngine(lib());
}
int seek(int pos) {
    Library& l = lib();
    std::lock_guard g(l.lock);
    l.lastError = 0;
    if (!l.source) return fail(2), 0;
    const bool wasPlaying = l.engine && l.engine->state() == PlayState::Playing;
    if (l.engine) l.engine->stop();
    if (!l.source->seekFrames(toFrames(pos, l.source->format().rate))) return fail(4), 0;
    if (wasPlaying) {
        auto range = std::make_unique<RangeSource>(*l.source, 0);
        l.engine->start(std::move(range), soundMixer().word(kWaveChannel));
    }
    return 1;
}
int lastError() {
    std::lock_guard g(lib().lock);
    return lib().lastError;
}

class BuiltIn final : public Module {
public:
    void* resolve(const char* name) override {
        static const std::map<std::string, void*> entries = {
            {"init", reinterpret_cast<void*>(&init)},
            {"deinit", reinterpret_cast<void*>(&deinit)},
            {"Open", reinterpret_cast<void*>(&open)},
            {"Pause", reinterpret_cast<void*>(&pause)},
            {"Restart", reinterpret_cast<void*>(&restart)},
            {"Stop", reinterpret_cast<void*>(&stop)},
            {"SetPriority", reinterpret_cast<void*>(&setPriority)},
            {"SetOutputDevice", reinterpret_cast<void*>(&setOutputDevice)},
            {"Play", reinterpret_cast<void*>(&play)},
            {"Close", reinterpret_cast<void*>(&close)},
            {"GetFrequency", reinterpret_cast<void*>(&getFrequency)},
            {"GetBitrate", reinterpret_cast<void*>(&getBitrate)},
            {"GetLayer", reinterpret_cast<void*>(&getLayer)},
            {"GetPlayerMode", reinterpret_cast<void*>(&getPlayerMode)},
            {"GetCurrentPos", reinterpret_cast<void*>(&getCurrentPos)},
            {"GetLength", reinterpret_cast<void*>(&getLength)},
            {"ResetPlayerMode", reinterpret_cast<void*>(&resetPlayerMode)},
            {"Seek", reinterpret_cast<void*>(&seek)},
            {"LastError", reinterpret_cast<void*>(&lastError)},
        };
        auto it = entries.find(name ? name : "");
        return it == entries.end() ? nullptr : it->second;
    }
};

}  // namespace

std::unique_ptr<Module> loadBuiltIn(const std::string&) { return std::make_unique<BuiltIn>(); }

}  // namespace kv::music::mpeglib
