#include "tools/music/sound_output.h"

#include <chrono>

namespace kv::music {

bool NullOutput::open(PcmFormat format) {
    std::lock_guard lock(m_);
    format_ = format;
    aborted_ = false;
    return true;
}

bool NullOutput::write(const int16_t*, size_t count) {
    std::unique_lock lock(m_);
    if (paced_) {
        wake_.wait(lock, [&] { return aborted_ || !paused_; });
        const auto due = std::chrono::steady_clock::now() +
                         std::chrono::microseconds(uint64_t(count) * 1000000 / uint64_t(format_.rate));
        wake_.wait_until(lock, due, [&] { return aborted_; });
    }
    if (aborted_) return false;
    taken_ += count;
    return true;
}

void NullOutput::abort() {
    std::lock_guard lock(m_);
    aborted_ = true;
    wake_.notify_all();
}

void NullOutput::setPaused(bool paused) {
    std::lock_guard lock(m_);
    paused_ = paused;
    wake_.notify_all();
}

bool PcmFileOutput::open(PcmFormat format) {
    channels_ = format.channels;
    file_.open(path_, std::ios::binary | std::ios::trunc);
    return bool(file_);
}

bool PcmFileOutput::write(const int16_t* frames, size_t count) {
    if (aborted_) return false;
    const size_t n = count * size_t(channels_);
    for (size_t i = 0; i < n; ++i) {
        const auto v = uint16_t(frames[i]);
        const char le[2] = {char(v & 0xFF), char(v >> 8)};
        file_.write(le, 2);
    }
    return bool(file_);
}

namespace {
std::mutex& factoryLock() {
    static std::mutex m;
    return m;
}
SoundOutputFactory& factory() {
    static SoundOutputFactory f;
    return f;
}
}  // namespace

void setSoundOutputFactory(SoundOutputFactory f) {
    std::lock_guard lock(factoryLock());
    factory() = std::move(f);
}

std::unique_ptr<SoundOutput> makeSoundOutput() {
    SoundOutputFactory f;
    {
        std::lock_guard lock(factoryLock());
        f = factory();
    }
    if (f)
        if (auto out = f()) return out;
    return std::make_unique<NullOutput>();
}

}  // namespace kv::music
