#include "fileops/job_queue.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include <atomic>

#include "fileops/engine/job_thread.h"
#include "fileops/progress_window.h"
#include "fileops/question_dialogs.h"

namespace kv {

namespace {

// One question on the screen at a time, whichever job asks.
std::mutex& questionLock() {
    static std::mutex m;
    return m;
}

// Until the progress window is up, the main window takes no input: a second command must
// not start while the first one is still in the foreground.
class InputBlock : public QObject {
public:
    explicit InputBlock(QWidget* owner) : owner_(owner) { qApp->installEventFilter(this); }
    ~InputBlock() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::Shortcut:
            case QEvent::ShortcutOverride: {
                auto* w = qobject_cast<QWidget*>(watched);
                return w && !QApplication::activeModalWidget() && owner_ && w->window() == owner_->window();
            }
            default: return false;
        }
    }

private:
    QPointer<QWidget> owner_;
};

}  // namespace

// Answers a job's questions with the dialogs, on the GUI thread; the worker waits.
class JobQueue::Asker : public fileops::Decider {
public:
    Asker(JobQueue& q, QWidget* owner) : queue_(q), owner_(owner) {}
    fileops::Progress* progress = nullptr;
    std::atomic<int> asking{0};

    fileops::Decision conflict(const fileops::Conflict& c) override {
        return ask([&] {
            TFormConflict d(c, owner_);
            d.exec();
            return d.answer();
        });
    }
    fileops::Decision error(const fileops::OpError& e) override {
        return ask([&] {
            TFormFileError d(e, owner_);
            d.exec();
            return d.answer();
        });
    }

private:
    template <class F>
    fileops::Decision ask(F show) {
        // A job being stopped asks nothing more: it ends at once.
        if (progress && progress->cancelled()) return fileops::Decision::Cancel;
        std::lock_guard<std::mutex> one(questionLock());
        if (progress && progress->cancelled()) return fileops::Decision::Cancel;
        fileops::Decision answer = fileops::Decision::Cancel;
        ++asking;
        QMetaObject::invokeMethod(
            &queue_, [&] { answer = show(); }, Qt::BlockingQueuedConnection);
        --asking;
        return answer;
    }

    JobQueue& queue_;
    QPointer<QWidget> owner_;
};

struct JobQueue::Entry {
    Id id = 0;
    QString caption, detail;
    std::unique_ptr<fileops::Job> job;
    std::function<void(const fileops::JobResult&)> ended;
    std::unique_ptr<Asker> asker;
    std::unique_ptr<fileops::JobThread> thread;  // made when the job starts
    QPointer<QWidget> owner;
    bool cancelling = false;
};

JobQueue& JobQueue::instance() {
    static JobQueue queue;
    return queue;
}

JobQueue::~JobQueue() {
    // Only reached at exit: whatever is left stops (a job stopped asks nothing more).
    for (auto& e : jobs_)
        if (e->thread) e->thread->cancel();
}

JobQueue::Entry* JobQueue::find(Id id) const {
    for (const auto& e : jobs_)
        if (e->id == id) return e.get();
    return nullptr;
}

JobQueue::Id JobQueue::submit(Request r) {
    auto e = std::make_unique<Entry>();
    e->id = schedule_.add(fileops::devicesOf(r.paths));
    e->caption = r.caption;
    e->detail = r.detail;
    e->job = std::move(r.job);
    e->ended = std::move(r.ended);
    e->owner = r.owner;
    e->asker = std::make_unique<Asker>(*this, r.owner);
    const Id id = e->id;
    jobs_.push_back(std::move(e));
    startReady();
    emit changed();
    return id;
}

void JobQueue::startReady() {
    for (Id id : schedule_.take()) {
        Entry* e = find(id);
        if (!e) continue;
        e->thread = std::make_unique<fileops::JobThread>(*e->job, *e->asker);
        e->asker->progress = &e->thread->progress();
        if (e->cancelling) e->thread->cancel();
        e->thread->onFinished = [this, id] {
            QMetaObject::invokeMethod(
                this, [this, id] { jobFinished(id); }, Qt::QueuedConnection);
        };
        e->thread->start();
    }
}

void JobQueue::jobFinished(Id id) {
    Entry* e = find(id);
    if (!e || !e->thread) return;
    end(id, e->thread->wait());
}

void JobQueue::end(Id id, fileops::JobResult result) {
    std::unique_ptr<Entry> gone;
    for (auto it = jobs_.begin(); it != jobs_.end(); ++it)
        if ((*it)->id == id) {
            gone = std::move(*it);
            jobs_.erase(it);
            break;
        }
    if (!gone) return;
    if (gone->thread) gone->thread->wait();
    schedule_.finish(id);
    startReady();
    emit changed();
    // Last: the summary it may show runs a loop in which other jobs end.
    if (gone->ended) gone->ended(result);
}

void JobQueue::cancel(Id id) {
    Entry* e = find(id);
    if (!e) return;
    e->cancelling = true;
    if (schedule_.dropQueued(id)) {
        fileops::JobResult r;
        r.outcome = fileops::Outcome::Cancelled;
        end(id, std::move(r));
        return;
    }
    if (e->thread) e->thread->cancel();
    emit changed();
}

void JobQueue::cancelAll() {
    std::vector<Id> ids;
    for (const auto& e : jobs_) ids.push_back(e->id);
    // The waiting ones first, so none of them starts when a running one stops.
    for (Id id : ids)
        if (schedule_.state(id) == fileops::JobSchedule::State::Queued) cancel(id);
    for (Id id : ids) cancel(id);
}

void JobQueue::waitAll() {
    if (jobs_.empty()) return;
    QEventLoop loop;
    const auto c = connect(this, &JobQueue::changed, &loop, [&] {
        if (jobs_.empty()) loop.quit();
    });
    loop.exec();
    disconnect(c);
}

std::vector<JobQueue::Row> JobQueue::rows() const {
    std::vector<Row> out;
    for (const auto& e : jobs_) {
        Row r;
        r.id = e->id;
        r.caption = e->caption;
        r.detail = e->detail;
        r.waiting = !e->thread;
        r.cancelling = e->cancelling;
        if (e->thread) r.progress = e->thread->progress().snapshot();
        out.push_back(std::move(r));
    }
    return out;
}

bool JobQueue::waitInForeground(Id id) {
    Entry* e = find(id);
    if (!e) return true;
    TFormProgress progress(e->caption, e->owner);
    progress.setWindowModality(Qt::ApplicationModal);
    InputBlock block(e->owner);
    QEventLoop loop;
    bool background = false;
    connect(&progress, &TFormProgress::cancelRequested, this, [this, id] { cancel(id); });
    connect(&progress, &TFormProgress::backgroundRequested, &loop, [&] {
        background = true;
        loop.quit();
    });
    connect(this, &JobQueue::changed, &loop, [&] {
        if (!find(id)) {
            progress.hide();
            loop.quit();
        }
    });
    QTimer tick;
    tick.setInterval(50);
    QElapsedTimer clock;
    clock.start();
    connect(&tick, &QTimer::timeout, &loop, [&] {
        const Entry* now = find(id);
        if (!now) {
            loop.quit();
            return;
        }
        if (now->asker->asking == 0 && clock.elapsed() >= kProgressDelayMs) {
            if (now->thread)
                progress.show(now->thread->progress().snapshot());
            else
                progress.showWaiting();
        }
    });
    tick.start();
    loop.exec();
    tick.stop();
    progress.hide();
    return !background;
}

}  // namespace kv
