// MPEG audio layers 1 to 3 through libmpg123, always as signed 16-bit frames.
#include <mpg123.h>

#include <mutex>

#include "tools/music/decoders.h"

namespace kv::music {

namespace {

bool libraryReady() {
    static const bool ok = [] {
#if MPG123_API_VERSION < 46
        return mpg123_init() == MPG123_OK;
#else
        return true;  // newer libraries need no global set-up
#endif
    }();
    return ok;
}

class Mpg123Source final : public MpegSource {
public:
    Mpg123Source(mpg123_handle* h, StreamCallbacks cb) : h_(h), callbacks_(std::move(cb)) {}
    ~Mpg123Source() override {
        mpg123_close(h_);
        mpg123_delete(h_);
    }

    // Format and length once the stream is open; false when it holds no MPEG audio.
    bool start(std::string& error) {
        long rate = 0;
        int channels = 0, encoding = 0;
        if (mpg123_getformat(h_, &rate, &channels, &encoding) != MPG123_OK) {
            error = std::string("Not an MPEG audio stream: ") + mpg123_strerror(h_);
            return false;
        }
        format_ = {int(rate), channels == 1 ? 1 : 2};
        mpg123_format_none(h_);
        mpg123_format(h_, rate, channels, MPG123_ENC_SIGNED_16);
        mpg123_scan(h_);  // the exact length, even for streams of varying bit rate
        const off_t len = mpg123_length(h_);
        length_ = len > 0 ? uint64_t(len) : 0;
        mpg123_frameinfo fi{};
        if (mpg123_info(h_, &fi) == MPG123_OK) info_ = {int(fi.rate), fi.bitrate, fi.layer};
        return true;
    }

    PcmFormat format() const override { return format_; }
    uint64_t lengthFrames() const override { return length_; }
    MpegInfo info() const override { return info_; }
    bool rewind() override {
        framesRead_ = 0;
        return mpg123_seek(h_, 0, SEEK_SET) >= 0;
    }
    bool seekFrames(uint64_t frame) override {
        const off_t at = mpg123_seek(h_, off_t(frame), SEEK_SET);
        if (at < 0) return false;
        framesRead_ = uint64_t(at);
        return true;
    }
    size_t read(int16_t* out, size_t frames) override {
        const size_t frameBytes = size_t(format_.channels) * 2;
        size_t done = 0;
        auto* bytes = reinterpret_cast<unsigned char*>(out);
        while (done < frames * frameBytes) {
            size_t got = 0;
            const int r = mpg123_read(h_, bytes + done, frames * frameBytes - done, &got);
            done += got;
            if (r == MPG123_NEW_FORMAT) continue;  // the format is fixed above, so no change
            if (r != MPG123_OK) break;             // end of stream or a damaged frame
            if (got == 0) break;
        }
        framesRead_ += done / frameBytes;
        return done / frameBytes;
    }

    StreamCallbacks& callbacks() { return callbacks_; }

private:
    mpg123_handle* h_;
    StreamCallbacks callbacks_;
    PcmFormat format_;
    uint64_t length_ = 0;
    MpegInfo info_;
};

mpg123_handle* newHandle(std::string& error) {
    if (!libraryReady()) {
        error = "The MPEG decoder cannot start";
        return nullptr;
    }
    int err = 0;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) {
        error = std::string("The MPEG decoder cannot start: ") + mpg123_plain_strerror(err);
        return nullptr;
    }
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    return h;
}

// The stream-mode reader: mpg123 asks through the handle we gave it.
ssize_t streamRead(void* handle, void* buffer, size_t bytes) {
    auto* s = static_cast<Mpg123Source*>(handle);
    if (!s->callbacks().read) return -1;
    return s->callbacks().read(buffer, long(bytes));
}
off_t streamSeek(void* handle, off_t offset, int whence) {
    auto* s = static_cast<Mpg123Source*>(handle);
    if (!s->callbacks().seek) return -1;
    return s->callbacks().seek(long(offset), whence);
}

}  // namespace

std::unique_ptr<MpegSource> openMpeg(const std::string& path, std::string& error) {
    mpg123_handle* h = newHandle(error);
    if (!h) return nullptr;
    auto source = std::make_unique<Mpg123Source>(h, StreamCallbacks{});
    if (mpg123_open(h, path.c_str()) != MPG123_OK) {
        error = "Cannot open " + path;
        return nullptr;
    }
    if (!source->start(error)) return nullptr;
    return source;
}

std::unique_ptr<MpegSource> openMpegStream(StreamCallbacks callbacks, std::string& error) {
    mpg123_handle* h = newHandle(error);
    if (!h) return nullptr;
    auto source = std::make_unique<Mpg123Source>(h, std::move(callbacks));
    if (mpg123_replace_reader_handle(h, streamRead, streamSeek, nullptr) != MPG123_OK ||
        mpg123_open_handle(h, source.get()) != MPG123_OK) {
        error = "Input stream error";
        return nullptr;
    }
    if (!source->start(error)) return nullptr;
    return source;
}

}  // namespace kv::music
