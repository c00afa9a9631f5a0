#include "tools/sound/volume_control.h"

namespace kv {

TVolumeControl::TVolumeControl(music::SoundMixer& mixer, QObject* parent) : QObject(parent), mixer_(mixer) {
    timer_.setInterval(500);
    connect(&timer_, &QTimer::timeout, this, &TVolumeControl::refresh);
    timer_.start();  // every kind has a device here
}

TVolumeControl::~TVolumeControl() {
    for (auto& h : hooks_) disconnect(h);
}

void TVolumeControl::setVolume(int index, int value) {
    if (device(index) >= 0) mixer_.setVolume(index, value);
}

void TVolumeControl::setBar(int index, QSlider* bar) {
    if (bars_[size_t(index)] == bar) return;
    disconnect(hooks_[size_t(index)]);
    bars_[size_t(index)] = bar;
    if (bar)
        hooks_[size_t(index)] =
            connect(bar, &QSlider::valueChanged, this, [this, index](int pos) { barMoved(index, pos); });
    refresh();
}

void TVolumeControl::refresh() {
    refreshing_ = true;
    for (int i = 0; i < 3; ++i) {
        QSlider* bar = bars_[size_t(i)];
        if (!bar) continue;
        bar->setRange(0, 255);
        const int v = volume(i);
        bar->setValue(bar->orientation() == Qt::Vertical ? 255 - v : v);
    }
    refreshing_ = false;
}

void TVolumeControl::barMoved(int index, int position) {
    if (refreshing_) return;
    QSlider* bar = bars_[size_t(index)];
    if (!bar) return;
    setVolume(index, bar->orientation() == Qt::Vertical ? 255 - position : position);
}

}  // namespace kv
