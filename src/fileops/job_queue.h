#pragma once
// The file jobs of the whole program, queued by JobSchedule (one device one job at a time):
// each job runs on its own worker; the command that sent it waits with the progress window
// until it ends or the user sends it to the background. Questions from any job (overwrite,
// errors) come to the user through the usual dialogs, one at a time. When a job ends its
// ended() call re-reads the panels and shows what failed.
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fileops/engine/job.h"
#include "fileops/engine/job_schedule.h"

class QWidget;

namespace kv {

class JobQueue : public QObject {
    Q_OBJECT
public:
    using Id = fileops::JobSchedule::Id;

    static JobQueue& instance();

    struct Request {
        QString caption;
        QString detail;  // what and where, for the jobs window ("notes.txt to /home/ann")
        std::unique_ptr<fileops::Job> job;
        std::vector<std::string> paths;  // sources and targets: the devices it works on
        QWidget* owner = nullptr;        // the questions' parent
        // On the GUI thread once the job has ended (also when cancelled before it started).
        std::function<void(const fileops::JobResult&)> ended;
    };
    Id submit(Request r);
    // Waits with the progress window (after a short delay) until the job ends or the user
    // presses Background; the main window takes no input meanwhile. True: it ended.
    bool waitInForeground(Id id);
    static constexpr int kProgressDelayMs = 500;

    void cancel(Id id);
    void cancelAll();
    // Waits (the GUI keeps running) until no job is left.
    void waitAll();
    int count() const { return static_cast<int>(jobs_.size()); }

    struct Row {
        Id id = 0;
        QString caption, detail;
        fileops::ProgressSnapshot progress;
        bool waiting = false;     // queued behind another job
        bool cancelling = false;  // asked to stop, not yet stopped
    };
    std::vector<Row> rows() const;

signals:
    void changed();  // a job was added, started or ended

private:
    struct Entry;
    class Asker;
    JobQueue() = default;
    ~JobQueue() override;
    Entry* find(Id id) const;
    void startReady();
    void jobFinished(Id id);
    void end(Id id, fileops::JobResult result);

    fileops::JobSchedule schedule_;
    std::vector<std::unique_ptr<Entry>> jobs_;
};

}  // namespace kv
