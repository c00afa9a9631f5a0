#include "fileops/jobs_indicator.h"

#include "fileops/job_queue.h"
#include "fileops/jobs_window.h"

namespace kv {

TJobsIndicator::TJobsIndicator(QWidget* parent) : QToolButton(parent) {
    setObjectName(QStringLiteral("JobsIndicator"));
    setAutoRaise(true);
    setToolTip(QStringLiteral("File jobs running (Ctrl+J shows them)"));
    connect(&JobQueue::instance(), &JobQueue::changed, this, &TJobsIndicator::refresh);
    connect(this, &QToolButton::clicked, this, [this] { TFormJobs::showFor(window()); });
    refresh();
}

void TJobsIndicator::refresh() {
    const int n = JobQueue::instance().count();
    setText(n == 1 ? QStringLiteral("1 job") : QStringLiteral("%1 jobs").arg(n));
    setVisible(n > 0);
}

}  // namespace kv
