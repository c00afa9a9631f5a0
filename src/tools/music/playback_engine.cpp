#include "tools/music/playback_engine.h"

#include <vector>

namespace kv::music {

namespace {
constexpr size_t kChunkFrames = 1024;  // about 23 ms at 44.1 kHz: prompt stops, few wake-ups
}

PlaybackEngine::PlaybackEngine(SoundOutputFactory factory) : factory_(std::move(factory)) {}

PlaybackEngine::~PlaybackEngine() { stop(); }

bool PlaybackEngine::start(std::unique_ptr<PcmSource> source, const std::atomic<uint32_t>* volume,
                           std::atomic<bool>* finished) {
    stop();
    {
        std::lock_guard lock(sourceLock_);
        source_ = std::move(source);
    }
    volume_ = volume;
    finished_ = finished;
    if (!source_) return false;
    output_ = factory_ ? factory_() : makeSoundOutput();
    if (!output_ || !output_->open(source_->format())) {
        output_ = std::make_unique<NullOutput>();  // a device that refuses: silent, in time
        output_->open(source_->format());
    }
    if (finished_) *finished_ = false;
    stopping_ = false;
    state_ = PlayState::Playing;
    worker_ = std::thread([this] { run(); });
    return true;
}

void PlaybackEngine::load(std::unique_ptr<PcmSource> source, const std::atomic<uint32_t>* volume,
                          std::atomic<bool>* finished) {
    stop();
    std::lock_guard lock(sourceLock_);
    source_ = std::move(source);
    volume_ = volume;
    finished_ = finished;
}

bool PlaybackEngine::restart() {
    if (!source_) return false;
    stop();
    {
        std::lock_guard lock(sourceLock_);
        if (!source_->rewind()) return false;
    }
    std::unique_ptr<PcmSource> same = std::move(source_);
    return start(std::move(same), volume_, finished_);
}

void PlaybackEngine::stop() {
    if (worker_.joinable()) {
        stopping_ = true;
        if (output_) {
            output_->setPaused(false);
            output_->abort();
        }
        worker_.join();
    }
    output_.reset();
    state_ = PlayState::Idle;
}

void PlaybackEngine::setPaused(bool paused) {
    if (!output_ || !worker_.joinable()) return;
    const PlayState now = state_;
    if (now != PlayState::Playing && now != PlayState::Paused) return;
    output_->setPaused(paused);
    state_ = paused ? PlayState::Paused : PlayState::Playing;
}

Progress PlaybackEngine::progress() const {
    std::lock_guard lock(sourceLock_);
    return source_ ? source_->progress() : Progress{};
}

PcmFormat PlaybackEngine::format() const {
    std::lock_guard lock(sourceLock_);
    return source_ ? source_->format() : PcmFormat{};
}

void PlaybackEngine::run() {
    const int channels = source_->format().channels;
    std::vector<int16_t> chunk(kChunkFrames * size_t(channels));
    while (!stopping_) {
        size_t got;
        {
            std::lock_guard lock(sourceLock_);
            got = source_->read(chunk.data(), kChunkFrames);
        }
        if (got == 0) {
            output_->drain();
            if (!stopping_) {
                state_ = PlayState::Finished;
                if (finished_) *finished_ = true;
            }
            return;
        }
        if (volume_) {
            const uint32_t w = *volume_;
            const int64_t gain = int64_t((w & 0xFFFF) + (w >> 16)) / 2;  // 0..65535
            if (gain < 0xFFFF)
                for (size_t i = 0; i < got * size_t(channels); ++i)
                    chunk[i] = int16_t(int64_t(chunk[i]) * gain / 65536);
        }
        if (!output_->write(chunk.data(), got)) return;
    }
}

}  // namespace kv::music
