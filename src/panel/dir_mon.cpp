#include "panel/dir_mon.h"

#include <QMessageBox>

#include <stdexcept>

namespace kv {

TDirMon::TDirMon(QObject* parent) : QObject(parent) {
    connect(this, &TDirMon::workerEvent, this, &TDirMon::onWorkerEvent, Qt::QueuedConnection);
}

TDirMon::~TDirMon() {
    watcher_.stop();
}

void TDirMon::SetDirectory(const std::string& dir) {
    if (dir == directory_) return;
    if (running_) throw std::runtime_error("Unable to change Directory when DirMon is running");
    directory_ = dir;
}

void TDirMon::SetNotifyFilter(std::uint32_t filter) {
    if (running_) throw std::runtime_error("Unable to change NotifyFilter when DirMon is running");
    filter_ = filter;
}

void TDirMon::Start() {
    if (running_) throw std::runtime_error("DirMon already started");
    const quint64 gen = ++generation_;
    try {
        // The worker only emits; the queued connection carries the event to our thread.
        watcher_.start(directory_, filter_, Nested, [this, gen](platform::WatchEvent ev) {
            emit workerEvent(gen, static_cast<int>(ev));
        });
    } catch (const std::runtime_error& e) {
        if (std::string(e.what()) == "eventfd") throw std::runtime_error("CreateMutex failed");
        throw std::runtime_error("CreateThread failed");
    }
    running_ = true;
    if (OnStart) OnStart(this);
}

void TDirMon::Stop() {
    if (!running_) throw std::runtime_error("DirMon not started");
    watcher_.stop();
    running_ = false;
    ++generation_;
    if (OnStop) OnStop(this);
}

void TDirMon::onWorkerEvent(quint64 generation, int kind) {
    if (generation != generation_ || !running_) return;
    try {
        switch (static_cast<platform::WatchEvent>(kind)) {
        case platform::WatchEvent::Changed:
            if (OnDirChange) OnDirChange(this);
            break;
        case platform::WatchEvent::Gone:
            if (OnDirGone) OnDirGone(this);
            break;
        case platform::WatchEvent::Failed: {
            const std::string text = "FindFirstChangeNotification() failed";
            if (OnWarning)
                OnWarning(text);
            else
                QMessageBox::warning(nullptr, QStringLiteral("Warning"), QString::fromStdString(text));
            break;
        }
        }
    } catch (...) {
        // A failing change handler must not take the event loop down; the next change
        // will try again.
    }
}

}  // namespace kv
