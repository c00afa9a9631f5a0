#include "tools/sound/qt_sound_output.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

namespace kv::sound {

namespace {

// The thread every sink lives on; started at the first output, ended when the program ends.
QObject* audioContext() {
    static QThread* thread = [] {
        auto* t = new QThread;
        t->setObjectName(QStringLiteral("kv audio"));
        t->start(QThread::HighPriority);
        QObject::connect(
            qApp, &QCoreApplication::aboutToQuit, t,
            [t] {
                t->quit();
                t->wait();
            },
            Qt::DirectConnection);
        return t;
    }();
    static QObject* context = [] {
        auto* o = new QObject;
        o->moveToThread(thread);
        return o;
    }();
    return context;
}

template <typename F>
void onAudioThread(F f) {
    QObject* ctx = audioContext();
    if (QThread::currentThread() == ctx->thread())
        f();
    else
        QMetaObject::invokeMethod(ctx, f, Qt::BlockingQueuedConnection);
}

// Bytes the decoder wrote and the sink has not pulled yet, bounded; the sink gets silence
// when it runs dry rather than an end, so the stream never goes idle between chunks.
class Ring final : public QIODevice {
public:
    explicit Ring(size_t capacity) : buf_(capacity) {}

    bool push(const char* p, size_t n) {
        std::unique_lock lock(m_);
        while (n > 0) {
            roomy_.wait(lock, [&] { return aborted_ || fill_ < buf_.size(); });
            if (aborted_) return false;
            const size_t k = std::min(n, buf_.size() - fill_);
            for (size_t i = 0; i < k; ++i) buf_[(head_ + fill_ + i) % buf_.size()] = p[i];
            fill_ += k;
            p += k;
            n -= k;
        }
        return true;
    }
    // Waits until the sink has pulled everything.
    void waitEmpty() {
        std::unique_lock lock(m_);
        roomy_.wait(lock, [&] { return aborted_ || fill_ == 0; });
    }
    void abort() {
        std::lock_guard lock(m_);
        aborted_ = true;
        fill_ = 0;
        roomy_.notify_all();
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* out, qint64 max) override {
        std::lock_guard lock(m_);
        const size_t n = std::min(size_t(max), fill_);
        for (size_t i = 0; i < n; ++i) out[i] = buf_[(head_ + i) % buf_.size()];
        head_ = (head_ + n) % buf_.size();
        fill_ -= n;
        if (n < size_t(max)) std::memset(out + n, 0, size_t(max) - n);  // an underrun: silence
        roomy_.notify_all();
        return max;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::vector<char> buf_;
    size_t head_ = 0, fill_ = 0;
    bool aborted_ = false;
    std::mutex m_;
    std::condition_variable roomy_;
};

class QtSoundOutput final : public music::SoundOutput {
public:
    explicit QtSoundOutput(QAudioDevice device) : device_(std::move(device)) {}
    ~QtSoundOutput() override {
        if (ring_) ring_->abort();
        onAudioThread([this] {
            if (sink_) sink_->stop();
            delete sink_;
            sink_ = nullptr;
        });
    }

    bool open(music::PcmFormat f) override {
        QAudioFormat format;
        format.setSampleRate(f.rate);
        format.setChannelCount(f.channels);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device_.isFormatSupported(format)) return false;
        channels_ = f.channels;
        bytesPerSecond_ = f.rate * f.channels * 2;
        // A quarter of a second between decoder and sink.
        ring_ = std::make_unique<Ring>(size_t(bytesPerSecond_ / 4));
        bool ok = false;
        onAudioThread([&] {
            sink_ = new QAudioSink(device_, format);
            sink_->setBufferSize(bytesPerSecond_ / 5);
            ring_->open(QIODevice::ReadOnly);
            sink_->start(ring_.get());
            ok = sink_->error() == QAudio::NoError;
            sinkBuffer_ = sink_->bufferSize();
        });
        return ok;
    }
    bool write(const int16_t* frames, size_t count) override {
        return ring_ && ring_->push(reinterpret_cast<const char*>(frames), count * size_t(channels()) * 2);
    }
    void drain() override {
        if (!ring_) return;
        ring_->waitEmpty();
        // What the sink holds still has to be heard.
        if (!aborted_) {
            std::unique_lock lock(m_);
            wake_.wait_for(
                lock,
                std::chrono::milliseconds(int64_t(sinkBuffer_) * 1000 / std::max(1, bytesPerSecond_) + 50),
                [&] { return aborted_; });
        }
    }
    void abort() override {
        {
            std::lock_guard lock(m_);
            aborted_ = true;
            wake_.notify_all();
        }
        if (ring_) ring_->abort();
    }
    void setPaused(bool paused) override {
        QAudioSink* sink = sink_;
        if (!sink) return;
        QMetaObject::invokeMethod(audioContext(),
                                  [sink, paused] { paused ? sink->suspend() : sink->resume(); });
    }

private:
    int channels() const { return channels_; }

    QAudioDevice device_;
    QAudioSink* sink_ = nullptr;  // lives on the audio thread
    std::unique_ptr<Ring> ring_;
    int bytesPerSecond_ = 0;
    int channels_ = 2;
    qsizetype sinkBuffer_ = 0;
    std::mutex m_;
    std::condition_variable wake_;
    bool aborted_ = false;
};

}  // namespace

std::unique_ptr<music::SoundOutput> makeQtSoundOutput() {
    QAudioDevice device;
    onAudioThread([&] { device = QMediaDevices::defaultAudioOutput(); });
    if (device.isNull()) return nullptr;
    return std::make_unique<QtSoundOutput>(device);
}

void installQtSoundOutput() { music::setSoundOutputFactory(makeQtSoundOutput); }

}  // namespace kv::sound
