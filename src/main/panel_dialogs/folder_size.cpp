#include "main/panel_dialogs/folder_size.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <atomic>
#include <thread>

#include "main/main_form.h"
#include "panel/model/files_scan.h"
#include "panel/model/panel_format.h"

namespace kv {

namespace {

class ScanSizerCounter : public FolderCounter {
public:
    std::int64_t Size(const std::string& folder) override { return sizer_.Size(folder); }
    void Stop() override { sizer_.Stop(); }
    std::int64_t FilesCount() const override { return sizer_.FilesCount(); }
    std::int64_t FilesSize() const override { return sizer_.FilesSize(); }

private:
    TScanSizer sizer_;
};

constexpr auto kJobName = "FolderSizeJob";

std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// Everything the worker touches: it may outlive the job (a folder on a hung mount keeps
// its thread waiting after the window has gone).
struct TFolderSizeJob::Shared {
    std::unique_ptr<FolderCounter> counter;
    std::atomic<bool> done{false};
    std::atomic<bool> stopAsked{false};
    std::int64_t result = 0;  // written before done is set
};

std::function<std::unique_ptr<FolderCounter>()>& TFolderSizeJob::counterFactory() {
    static std::function<std::unique_ptr<FolderCounter>()> make = [] {
        return std::unique_ptr<FolderCounter>(std::make_unique<ScanSizerCounter>());
    };
    return make;
}

TFolderSizeJob* TFolderSizeJob::running(TForm1& form) {
    for (auto* job :
         form.findChildren<TFolderSizeJob*>(QString::fromLatin1(kJobName), Qt::FindDirectChildrenOnly))
        if (!job->ended_) return job;
    return nullptr;
}

TFolderSizeJob* TFolderSizeJob::start(TForm1& form, TFPanel* panel, const std::string& folder) {
    if (TFolderSizeJob* old = running(form)) {
        old->stop();
        old->finish();
    }
    return new TFolderSizeJob(form, panel, folder);
}

TFolderSizeJob::TFolderSizeJob(TForm1& form, TFPanel* panel, std::string folder)
    : QObject(&form),
      form_(form),
      panel_(panel),
      folder_(std::move(folder)),
      shared_(std::make_shared<Shared>()) {
    setObjectName(QString::fromLatin1(kJobName));
    name_ = baseName(folder_);
    parent_ = panel_->CurDir;
    shared_->counter = counterFactory()();
    std::thread([s = shared_, f = folder_] {
        s->result = s->counter->Size(f);
        s->done.store(true);
    }).detach();
    // Installed last, so it sees Esc before the window's own key handling does.
    qApp->installEventFilter(this);
    timer_ = new QTimer(this);
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, &TFolderSizeJob::poll);
    timer_->start();
    poll();
}

TFolderSizeJob::~TFolderSizeJob() {
    if (!ended_) {
        shared_->stopAsked.store(true);
        shared_->counter->Stop();
    }
    qApp->removeEventFilter(this);
}

void TFolderSizeJob::stop() {
    if (ended_) return;
    shared_->stopAsked.store(true);
    shared_->counter->Stop();
}

bool TFolderSizeJob::finished() const { return ended_; }

bool TFolderSizeJob::eventFilter(QObject* watched, QEvent* event) {
    if (ended_ || event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != &form_ || QApplication::activeModalWidget()) return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    if (ke->key() != Qt::Key_Escape) return false;
    stop();
    poll();
    return true;
}

void TFolderSizeJob::poll() {
    if (ended_) return;
    if (shared_->done.load()) {
        finish();
        return;
    }
    const std::string sep = ",";
    form_.Label2->setText(QStringLiteral("Folder size: %1  %2 bytes so far (Esc stops)")
                              .arg(qs(name_), qs(formatThousands(shared_->counter->FilesSize(), sep))));
}

void TFolderSizeJob::finish() {
    if (ended_) return;
    ended_ = true;
    timer_->stop();
    qApp->removeEventFilter(this);
    const bool stopped = shared_->stopAsked.load() || !shared_->done.load();
    const std::int64_t size = shared_->done.load() ? shared_->result : shared_->counter->FilesSize();
    const std::string sep = ",";
    if (stopped) {
        // A cut-short total is no folder size: the entry keeps its folder mark.
        form_.Label2->setText(QStringLiteral("Folder size of %1 stopped after %2 bytes")
                                  .arg(qs(name_), qs(formatThousands(size, sep))));
    } else {
        form_.Label2->setText(QStringLiteral("%1: %2 bytes").arg(qs(name_), qs(formatThousands(size, sep))));
        // The panel may have moved on meanwhile: only the same entry of the same folder
        // gets the size.
        TFPanel* p = panel_;
        const int i = p->CurDir == parent_ ? p->FL.findByName(name_) : 0;
        if (i > 0 && p->FL.isFolder(i)) {
            p->FL.setSize(i, size);
            p->DrawList();
            if (p->Active) p->DrawCursor();
        }
    }
    emit done(stopped, size);
    deleteLater();
}

void showFolderSize(TForm1& form, const std::string& folder) {
    TFolderSizeJob::start(form, form.activePanel(), folder);
}

}  // namespace kv
