#include "fileops/qt_job_host.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QMetaObject>
#include <QTimer>

#include "fileops/engine/job_thread.h"
#include "fileops/progress_window.h"
#include "fileops/question_dialogs.h"

namespace kv {

QtJobHost::QtJobHost(QWidget* owner, QString caption) : owner_(owner), caption_(std::move(caption)) {}

bool QtJobHost::eventFilter(QObject* watched, QEvent* event) {
    // Until the progress window is up, the main window takes no input: a second command
    // must not start while this one runs.
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
            if (w && !QApplication::activeModalWidget() && owner_ && w->window() == owner_->window())
                return true;
            return false;
        }
        default: return false;
    }
}

fileops::JobResult QtJobHost::runJob(fileops::Job& job) {
    fileops::JobThread worker(job, *this);
    TFormProgress progress(caption_, owner_);
    progress.setWindowModality(Qt::ApplicationModal);
    connect(&progress, &TFormProgress::cancelRequested, &progress, [&worker] { worker.cancel(); });
    qApp->installEventFilter(this);
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(50);
    QElapsedTimer clock;
    clock.start();
    connect(&tick, &QTimer::timeout, &loop, [&] {
        if (worker.finished()) {
            loop.quit();
            return;
        }
        if (asking_ == 0 && clock.elapsed() >= kProgressDelayMs) progress.show(worker.progress().snapshot());
    });
    // The loop ends as soon as the worker is done, not at the next tick: a command of many
    // small requests must not wait for the timer each time.
    worker.onFinished = [&loop] {
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    };
    worker.start();
    tick.start();
    loop.exec();
    tick.stop();
    qApp->removeEventFilter(this);
    fileops::JobResult r = worker.wait();
    progress.hide();
    failures_.insert(failures_.end(), r.failures.begin(), r.failures.end());
    notes_.insert(notes_.end(), r.notes.begin(), r.notes.end());
    return r;
}

fileops::Decision QtJobHost::conflict(const fileops::Conflict& c) {
    fileops::Decision answer = fileops::Decision::Cancel;
    ++asking_;
    QMetaObject::invokeMethod(
        this,
        [&] {
            TFormConflict d(c, owner_);
            d.exec();
            answer = d.answer();
        },
        Qt::BlockingQueuedConnection);
    --asking_;
    return answer;
}

fileops::Decision QtJobHost::error(const fileops::OpError& e) {
    fileops::Decision answer = fileops::Decision::Cancel;
    ++asking_;
    QMetaObject::invokeMethod(
        this,
        [&] {
            TFormFileError d(e, owner_);
            d.exec();
            answer = d.answer();
        },
        Qt::BlockingQueuedConnection);
    --asking_;
    return answer;
}

void QtJobHost::showSummary() {
    if (failures_.empty() && notes_.empty()) return;
    QString text;
    if (!failures_.empty()) {
        text += QStringLiteral("%1 item(s) could not be processed:\n").arg(failures_.size());
        for (const auto& f : failures_)
            text += QStringLiteral("%1: %2\n")
                        .arg(QString::fromStdString(f.path), QString::fromStdString(f.reason));
    }
    for (const auto& n : notes_) text += QString::fromStdString(n) + QStringLiteral("\n");
    QMessageBox box(failures_.empty() ? QMessageBox::Information : QMessageBox::Warning, caption_,
                    text.trimmed(), QMessageBox::Ok, owner_);
    box.setObjectName(QStringLiteral("FileOpsSummary"));
    box.exec();
    failures_.clear();
    notes_.clear();
}

}  // namespace kv
