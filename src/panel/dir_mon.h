#pragma once
// TDirMon: watches one folder and reports changes on the GUI thread.
// The watching runs on a worker thread (platform::FolderWatcher); each wake-up of the
// worker that carried a wanted change becomes exactly one queued call of OnDirChange on
// the thread that owns the TDirMon. Notifications from an earlier Start are dropped,
// so a Stop/Start pair that re-points the monitor never reports the old folder.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/folder_watcher.h"

namespace kv {

// Members of the notify filter, as bits of the filter word.
enum TDirMonValue : std::uint32_t {
    dmcFileName = 0x001,
    dmcDirName = 0x002,
    dmcAttributes = 0x004,
    dmcSize = 0x008,
    dmcLastWrite = 0x010,
    dmcSecurity = 0x100,
};

class TDirMon : public QObject {
    Q_OBJECT
public:
    explicit TDirMon(QObject* parent = nullptr);
    ~TDirMon() override;

    const std::string& Directory() const { return directory_; }
    // Throws "Unable to change Directory when DirMon is running" while running.
    void SetDirectory(const std::string& dir);
    std::uint32_t NotifyFilter() const { return filter_; }
    // Throws "Unable to change NotifyFilter when DirMon is running" while running.
    void SetNotifyFilter(std::uint32_t filter);
    bool Nested = false;

    std::function<void(TDirMon* Sender)> OnDirChange;
    // When set (before Start), changes come with their names instead: everything that
    // piled up since the last call, in order, in one call (so a busy folder never floods
    // the event loop). Changes that carry no name of the folder are not reported.
    std::function<void(TDirMon* Sender, std::vector<platform::NameChange>&& names)> OnNamesChanged;
    // The kernel dropped events, so names were lost; when unset, OnDirChange fires.
    std::function<void(TDirMon* Sender)> OnOverflow;
    std::function<void(TDirMon* Sender)> OnStart;
    std::function<void(TDirMon* Sender)> OnStop;
    // The watched folder was deleted, moved away or unmounted.
    std::function<void(TDirMon* Sender)> OnDirGone;
    // A warning for the user (the watch could not be set up). When unset, a message
    // box "Warning" shows it.
    std::function<void(const std::string& text)> OnWarning;

    // Throws "DirMon already started", "CreateMutex failed", "CreateThread failed".
    void Start();
    // Throws "DirMon not started". Returns once the worker has ended.
    void Stop();
    bool Running() const { return running_; }

signals:
    void workerEvent(quint64 generation, int kind);

private:
    void onWorkerEvent(quint64 generation, int kind);

    std::string directory_;
    std::uint32_t filter_ = dmcFileName;
    bool running_ = false;
    quint64 generation_ = 0;
    platform::FolderWatcher watcher_;
    std::mutex namesMutex_;  // the worker appends, the GUI thread takes
    std::vector<platform::NameChange> pendingNames_;
    bool drainPosted_ = false;
};

}  // namespace kv
