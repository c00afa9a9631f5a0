#include "panel/dir_mon.h"

#include <QMessageBox>

#include <stdexcept>

namespace kv {

TDirMon::TDirMon(QObject* parent) : QObject(parent) {
    connect(this, &TDirMon::workerEvent, this, &TDirMon::onWorkerEvent, Qt::QueuedConnection);
}

TDirMon::~TDirMon() { watcher_.stop(); }

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
        if (OnNamesChanged) {
            watcher_.startWithNames(
                directory_, filter_, Nested,
                [this, gen](platform::WatchEvent ev, std::vector<platform::NameChange>&& names) {
                    if (ev != platform::WatchEvent::Changed) {
                        emit workerEvent(gen, static_cast<int>(ev));
                        return;
                    }
                    if (names.empty()) return;
                    bool post = false;
                    {
                        std::lock_guard lock(namesMutex_);
                        for (auto& n : names) pendingNames_.push_back(std::move(n));
                        post = !drainPosted_;
                        drainPosted_ = true;
                    }
                    // One queued call drains whatever piled up meanwhile.
                    if (post) emit workerEvent(gen, static_cast<int>(ev));
                });
        } else {
            watcher_.start(directory_, filter_, Nested, [this, gen](platform::WatchEvent ev) {
                emit workerEvent(gen, static_cast<int>(ev));
            });
        }
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
    {
        std::lock_guard lock(namesMutex_);
        pendingNames_.clear();
        drainPosted_ = false;
    }
    if (OnStop) OnStop(this);
}

void TDirMon::onWorkerEvent(quint64 generation, int kind) {
    if (generation != generation_ || !running_) return;
    try {
        switch (static_cast<platform::WatchEvent>(kind)) {
            case platform::WatchEvent::Changed:
                if (OnNamesChanged) {
                    std::vector<platform::NameChange> names;
                    {
                        std::lock_guard lock(namesMutex_);
                        names.swap(pendingNames_);
                        drainPosted_ = false;
                    }
                    if (!names.empty()) OnNamesChanged(this, std::move(names));
                } else if (OnDirChange) {
                    OnDirChange(this);
                }
                break;
            case platform::WatchEvent::Overflow:
                if (OnOverflow)
                    OnOverflow(this);
                else if (OnDirChange)
                    OnDirChange(this);
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
