#include "fileops/jobs_window.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "fileops/file_command_support.h"

namespace kv {

namespace {
int percent(const fileops::ProgressSnapshot& s) {
    // Bytes when the job counts them, else files (a delete).
    const auto done = s.bytesTotal ? s.bytesDone : s.filesDone;
    const auto total = s.bytesTotal ? s.bytesTotal : s.filesTotal;
    if (total == 0) return 0;
    return static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
}
}  // namespace

TFormJobs::TFormJobs(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormJobs"));
    setWindowTitle(QStringLiteral("Jobs"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);
    auto* v = new QVBoxLayout(this);
    Empty = new QLabel(QStringLiteral("No jobs are running."), this);
    Empty->setObjectName(QStringLiteral("Empty"));
    v->addWidget(Empty);
    list_ = new QVBoxLayout;
    v->addLayout(list_);
    v->addStretch();
    setMinimumWidth(420);
    connect(&JobQueue::instance(), &JobQueue::changed, this, &TFormJobs::refresh);
    tick_.setInterval(200);
    connect(&tick_, &QTimer::timeout, this, &TFormJobs::refresh);
    tick_.start();
    refresh();
}

TFormJobs* TFormJobs::showFor(QWidget* owner) {
    auto* w = owner ? owner->findChild<TFormJobs*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!w) w = new TFormJobs(owner);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void TFormJobs::rebuild(const std::vector<JobQueue::Row>& jobs) {
    for (auto& r : rows_) delete r.box;
    rows_.clear();
    for (const auto& j : jobs) {
        RowWidgets r;
        r.id = j.id;
        r.box = new QWidget(this);
        r.box->setObjectName(QStringLiteral("Job%1").arg(j.id));
        auto* grid = new QVBoxLayout(r.box);
        grid->setContentsMargins(0, 4, 0, 4);
        r.caption = new QLabel(r.box);
        r.caption->setObjectName(QStringLiteral("Caption"));
        QFont bold = r.caption->font();
        bold.setBold(true);
        r.caption->setFont(bold);
        r.file = new QLabel(r.box);
        r.file->setObjectName(QStringLiteral("File"));
        r.file->setMinimumWidth(300);
        r.bar = new QProgressBar(r.box);
        r.bar->setObjectName(QStringLiteral("Bar"));
        r.bar->setRange(0, 100);
        r.cancel = new QPushButton(QStringLiteral("Cancel"), r.box);
        r.cancel->setObjectName(QStringLiteral("CancelBtn"));
        auto* line = new QHBoxLayout;
        line->addWidget(r.bar, 1);
        line->addWidget(r.cancel);
        grid->addWidget(r.caption);
        grid->addWidget(r.file);
        grid->addLayout(line);
        const JobQueue::Id id = j.id;
        connect(r.cancel, &QPushButton::clicked, this, [id] { JobQueue::instance().cancel(id); });
        list_->addWidget(r.box);
        rows_.push_back(r);
    }
}

void TFormJobs::refresh() {
    const auto jobs = JobQueue::instance().rows();
    bool same = jobs.size() == rows_.size();
    for (std::size_t i = 0; same && i < jobs.size(); ++i) same = jobs[i].id == rows_[i].id;
    if (!same) {
        rebuild(jobs);
        adjustSize();  // only when the list changes: a width the user chose stays
    }
    Empty->setVisible(jobs.empty());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const auto& j = jobs[i];
        RowWidgets& r = rows_[i];
        r.caption->setText(j.detail.isEmpty() ? j.caption : j.caption + QStringLiteral(": ") + j.detail);
        QString file;
        if (j.cancelling)
            file = QStringLiteral("Stopping...");
        else if (j.waiting)
            file = QStringLiteral("Waiting for the other jobs on this disk");
        else
            file = QFontMetrics(r.file->font())
                       .elidedText(fileops_ui::qName(j.progress.name), Qt::ElideMiddle, r.file->width());
        r.file->setText(file);
        r.bar->setValue(j.waiting ? 0 : percent(j.progress));
        r.cancel->setEnabled(!j.cancelling);
    }
}

}  // namespace kv
