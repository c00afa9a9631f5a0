#include "tools/music/cd_drive.h"

#include "tools/music/playback_engine.h"
#include "tools/music/sound_mixer.h"

#ifdef KV_HAVE_CDIO
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstring>
#endif

namespace kv::music {

namespace {

// No drive: nothing to play, and the window shows "Not ready".
class NoDrive final : public CdDrive {
public:
    CdMode mode() override { return CdMode::NotReady; }
    int trackCount() override { return 0; }
    CdTime trackLength(int) override { return {}; }
    CdPosition position() override { return {}; }
    void play(int) override {}
    void pause() override {}
    void stop() override {}
    void next() override {}
    void previous() override {}
    void eject() override {}
};

#ifdef KV_HAVE_CDIO
constexpr int kFramesPerSector = CDIO_CD_FRAMESIZE_RAW / 4;  // 588 stereo frames

// The disc's audio from one sector on, read with error correction.
class CdSource final : public PcmSource {
public:
    CdSource(cdrom_paranoia_t* p, lsn_t from, lsn_t to) : p_(p), from_(from), to_(to) { rewind(); }
    PcmFormat format() const override { return {44100, 2}; }
    uint64_t lengthFrames() const override { return uint64_t(to_ - from_) * kFramesPerSector; }
    bool rewind() override {
        paranoia_seek(p_, from_, SEEK_SET);
        at_ = from_;
        framesRead_ = 0;
        return true;
    }
    size_t read(int16_t* out, size_t frames) override {
        size_t done = 0;
        while (done + kFramesPerSector <= frames && at_ < to_) {
            const int16_t* sector = paranoia_read(p_, nullptr);
            if (!sector) break;
            std::memcpy(out + done * 2, sector, CDIO_CD_FRAMESIZE_RAW);
            done += kFramesPerSector;
            ++at_;
        }
        framesRead_ += done;
        return done;
    }
    lsn_t sector() const { return at_; }

private:
    cdrom_paranoia_t* p_;
    lsn_t from_, to_, at_ = 0;
};

class SystemDrive final : public CdDrive {
public:
    explicit SystemDrive(CdIo_t* cdio) : cdio_(cdio) {}
    ~SystemDrive() override {
        engine_.stop();
        closeDisc();
        cdio_destroy(cdio_);
    }
    CdMode mode() override {
        if (engine_.state() == PlayState::Playing) return CdMode::Playing;
        if (engine_.state() == PlayState::Paused) return CdMode::Paused;
        return openDisc() ? CdMode::Stopped : CdMode::Open;
    }
    int trackCount() override { return openDisc() ? int(cdio_get_num_tracks(cdio_)) : 0; }
    CdTime trackLength(int t) override {
        if (!openDisc()) return {};
        const int first = cdio_get_first_track_num(cdio_);
        const unsigned sectors = cdio_get_track_sec_count(cdio_, track_t(first + t - 1));
        return {int(sectors / 75 / 60), int(sectors / 75 % 60), int(sectors % 75)};
    }
    CdPosition position() override {
        if (!drive_ || engine_.state() == PlayState::Idle) return {};
        const lsn_t at = from_ + lsn_t(engine_.progress().position / kFramesPerSector);
        const int first = cdio_get_first_track_num(cdio_);
        const track_t t = cdio_get_track(cdio_, at);
        const lsn_t start = cdio_get_track_lsn(cdio_, t);
        const int secs = int((at - start) / 75);
        return {int(t) - first + 1, secs / 60, secs % 60};
    }
    void play(int t) override {
        if (!openDisc()) return;
        engine_.stop();
        const int first = cdio_get_first_track_num(cdio_);
        from_ = cdio_get_track_lsn(cdio_, track_t(first + t - 1));
        const lsn_t end = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
        if (from_ == CDIO_INVALID_LSN || end == CDIO_INVALID_LSN || end <= from_) return;
        engine_.start(std::make_unique<CdSource>(paranoia_, from_, end), soundMixer().word(kCdChannel));
        current_ = t;
    }
    void pause() override { engine_.setPaused(engine_.state() == PlayState::Playing); }
    void stop() override { engine_.stop(); }
    void next() override {
        if (current_ < trackCount()) play(current_ + 1);
    }
    void previous() override { play(current_ > 1 ? current_ - 1 : 1); }
    void eject() override {
        engine_.stop();
        closeDisc();
        cdio_eject_media_drive(nullptr);
    }

private:
    bool openDisc() {
        if (drive_) return true;
        if (cdio_get_discmode(cdio_) == CDIO_DISC_MODE_NO_INFO) return false;
        drive_ = cdio_cddap_identify_cdio(cdio_, CDDA_MESSAGE_FORGETIT, nullptr);
        if (!drive_ || cdio_cddap_open(drive_) != 0) {
            closeDisc();
            return false;
        }
        paranoia_ = cdio_paranoia_init(drive_);
        paranoia_modeset(paranoia_, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
        return true;
    }
    void closeDisc() {
        if (paranoia_) cdio_paranoia_free(paranoia_);
        paranoia_ = nullptr;
        if (drive_) cdio_cddap_close_no_free_cdio(drive_);
        drive_ = nullptr;
    }

    CdIo_t* cdio_;
    cdrom_drive_t* drive_ = nullptr;
    cdrom_paranoia_t* paranoia_ = nullptr;
    PlaybackEngine engine_;
    lsn_t from_ = 0;
    int current_ = 1;
};
#endif

}  // namespace

std::unique_ptr<CdDrive> openSystemCdDrive() {
#ifdef KV_HAVE_CDIO
    cdio_loglevel_default = CDIO_LOG_ERROR;  // no drive is no news
    if (CdIo_t* cdio = cdio_open(nullptr, DRIVER_DEVICE)) return std::make_unique<SystemDrive>(cdio);
#endif
    return std::make_unique<NoDrive>();
}

}  // namespace kv::music
