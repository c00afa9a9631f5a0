#pragma once
// Runs file jobs for the dialogs: the job works on a worker thread while the GUI thread
// keeps painting; the progress window appears only when the job takes longer than about
// half a second; the worker's questions are asked on the GUI thread (it waits for the
// answer). What failed is gathered over one command and shown once, by showSummary().
#include <QObject>
#include <QString>

#include <atomic>
#include <vector>

#include "fileops/engine/decider.h"
#include "fileops/engine/shell_ops.h"

class QWidget;

namespace kv {

class QtJobHost : public QObject, public fileops::FileOpHost, public fileops::Decider {
    Q_OBJECT
public:
    QtJobHost(QWidget* owner, QString caption);

    fileops::JobResult runJob(fileops::Job& job) override;
    // Called on the worker thread.
    fileops::Decision conflict(const fileops::Conflict& c) override;
    fileops::Decision error(const fileops::OpError& e) override;

    // One message with everything that failed or was left out since the command began;
    // nothing when all went well or the user cancelled without failures.
    void showSummary();

    static constexpr int kProgressDelayMs = 500;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* owner_;
    QString caption_;
    std::vector<fileops::Failure> failures_;
    std::vector<std::string> notes_;
    std::atomic<int> asking_{0};  // a question is open: the progress window waits
};

}  // namespace kv
