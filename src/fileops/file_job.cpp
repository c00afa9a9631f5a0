#include "fileops/file_job.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include "fileops/file_command_support.h"
#include "fileops/job_queue.h"
#include "panel/fpanel.h"

namespace kv {

void showJobSummary(QWidget* owner, const QString& caption, const fileops::JobResult& r) {
    if (r.failures.empty() && r.notes.empty()) return;
    QString text;
    if (!r.failures.empty()) {
        text += QStringLiteral("%1 item(s) could not be processed:\n").arg(r.failures.size());
        for (const auto& f : r.failures)
            text += QStringLiteral("%1: %2\n")
                        .arg(fileops_ui::qName(f.path), QString::fromStdString(f.reason));
    }
    for (const auto& n : r.notes) text += QString::fromStdString(n) + QStringLiteral("\n");
    QMessageBox box(r.failures.empty() ? QMessageBox::Information : QMessageBox::Warning, caption,
                    text.trimmed(), QMessageBox::Ok, owner);
    box.setObjectName(QStringLiteral("FileOpsSummary"));
    box.exec();
}

namespace {
// A dialog may be open on the panels' entries (F5's, say, whose command reads the selection
// once it closes): the re-read waits until no dialog is open. The active panel's re-read
// drops its selection (the job took it); the other panel keeps its own selection of the
// entries still there, so after a folder compare F5 on one side and then on the other
// copies each side's selection across.
void refreshWhenNoDialog(QPointer<TFPanel> a, QPointer<TFPanel> b) {
    if (QApplication::activeModalWidget()) {
        QTimer::singleShot(100, [a, b] { refreshWhenNoDialog(a, b); });
        return;
    }
    if (a) a->RefreshDir();
    if (b && b != a) b->DirChanged();
}

QString nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    return fileops_ui::qName(slash == std::string::npos || path.size() == 1 ? path
                                                                                 : path.substr(slash + 1));
}
}  // namespace

void runFileJob(const FileOpsContext& ctx, const QString& caption, std::unique_ptr<fileops::Job> job,
                const std::vector<std::string>& sources, const std::string& target) {
    JobQueue::Request r;
    r.caption = caption;
    r.detail =
        sources.size() == 1 ? nameOf(sources.front()) : QStringLiteral("%1 entries").arg(sources.size());
    if (!target.empty()) r.detail += QStringLiteral(" to ") + fileops_ui::qName(target);
    r.job = std::move(job);
    r.paths = sources;
    if (!target.empty()) r.paths.push_back(target);
    r.owner = ctx.owner;
    // The panels may show other folders by the time a background job ends: each re-reads
    // the folder it shows then.
    QPointer<TFPanel> active(ctx.active), passive(ctx.passive);
    QPointer<QWidget> owner(ctx.owner);
    // The monitors rest for as long as the request lives: the queue drops it after ended().
    fileops_ui::MonitorHold hold = fileops_ui::holdMonitors({ctx.active, ctx.passive});
    r.ended = [active, passive, owner, caption, hold](const fileops::JobResult& result) {
        refreshWhenNoDialog(active, passive);
        showJobSummary(owner, caption, result);
    };
    auto& queue = JobQueue::instance();
    queue.waitInForeground(queue.submit(std::move(r)));
}

}  // namespace kv
