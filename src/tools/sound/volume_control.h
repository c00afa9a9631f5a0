#pragma once
// TVolumeControl: the three volumes (0 CD/auxiliary, 1 wave, 2 MIDI; each 0..255) over the
// program's mixer, which our own players scale their sound by; up to three track bars kept
// in step with them on a 500 ms refresh. A vertical bar runs the other way, so up is louder.
#include <QObject>
#include <QPointer>
#include <QSlider>
#include <QTimer>

#include <array>

#include "tools/music/sound_mixer.h"

namespace kv {

class TVolumeControl : public QObject {
    Q_OBJECT
public:
    explicit TVolumeControl(music::SoundMixer& mixer = music::soundMixer(), QObject* parent = nullptr);
    ~TVolumeControl() override;

    // Device of each kind; -1 where the kind has none (the program's mixer has all three).
    int device(int index) const { return index >= 0 && index < 3 ? 0 : -1; }
    int volume(int index) const { return device(index) < 0 ? 0 : mixer_.volume(index); }
    void setVolume(int index, int value);

    QSlider* CDTrackBar() const { return bars_[0]; }
    QSlider* WaveTrackBar() const { return bars_[1]; }
    QSlider* MidiTrackBar() const { return bars_[2]; }
    void setCDTrackBar(QSlider* bar) { setBar(0, bar); }
    void setWaveTrackBar(QSlider* bar) { setBar(1, bar); }
    void setMidiTrackBar(QSlider* bar) { setBar(2, bar); }

    int Interval() const { return timer_.interval(); }
    void setInterval(int ms) { timer_.setInterval(ms); }
    // The bars from the volumes (each timer tick).
    void refresh();

private:
    void setBar(int index, QSlider* bar);
    void barMoved(int index, int position);

    music::SoundMixer& mixer_;
    std::array<QPointer<QSlider>, 3> bars_;
    std::array<QMetaObject::Connection, 3> hooks_;
    QTimer timer_;
    bool refreshing_ = false;
};

}  // namespace kv
