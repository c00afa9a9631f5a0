#include "main/output_form.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

namespace kv {

namespace {

QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The shell has already said why; without its words (a shell that said nothing), this does.
std::string whyNotStarted(const std::string& text, int code) {
    return "sh: " + text + (code == 127 ? ": command not found" : ": cannot be run") + " (exit code " +
           std::to_string(code) + ")";
}

}  // namespace

TOutputForm::TOutputForm(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("OutputForm"));
    setWindowTitle(QStringLiteral("Output"));
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("OutputText"));
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setMaximumBlockCount(static_cast<int>(OutputLines::kMaxLines));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(9);
    view_->setFont(mono);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(620, 320);
}

void TOutputForm::addLines(const std::vector<std::string>& lines, const std::string& open) {
    QScrollBar* bar = view_->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    if (openShown_) {
        // The open line is the last block; it is replaced by what it has become.
        QTextCursor c(view_->document());
        c.movePosition(QTextCursor::End);
        c.movePosition(QTextCursor::StartOfBlock, QTextCursor::KeepAnchor);
        c.removeSelectedText();
        if (view_->document()->blockCount() > 1)
            c.deletePreviousChar();
        else
            openShown_ = false;  // the document is empty again
    }
    const bool emptyDocument = view_->document()->isEmpty() && !openShown_;
    QString add;
    for (const std::string& l : lines) {
        if (!add.isEmpty() || !emptyDocument) add += QLatin1Char('\n');
        add += fromBytes(l);
    }
    const bool withOpen = !open.empty();
    if (withOpen) {
        if (!add.isEmpty() || !emptyDocument) add += QLatin1Char('\n');
        add += fromBytes(open);
    }
    QTextCursor c(view_->document());
    c.movePosition(QTextCursor::End);
    c.insertText(add);
    openShown_ = withOpen;
    if (following) bar->setValue(bar->maximum());
}

void TOutputForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(e);
}

TCommandConsole::TCommandConsole(QWidget* owner) : QObject(owner), owner_(owner) {}

TCommandConsole::~TCommandConsole() {
    // Workers end before this object: none can queue a call to it afterwards.
    jobs_.clear();
}

platform::LaunchResult TCommandConsole::run(const std::string& text, const std::string& folder) {
    forgetFinished();
    const std::uint64_t id = nextId_++;
    auto job = std::make_unique<Job>();
    job->text = text;
    platform::CommandRunner::Events events;
    events.onOutput = [this, id] {
        QMetaObject::invokeMethod(
            this, [this, id] { pump(id); }, Qt::QueuedConnection);
    };
    events.onExit = [this, id](int code) {
        QMetaObject::invokeMethod(
            this, [this, id, code] { ended(id, code); }, Qt::QueuedConnection);
    };
    Job& j = *job;
    jobs_.emplace(id, std::move(job));
    platform::LaunchResult r = j.runner.start(text, folder, std::move(events));
    if (!r.ok) jobs_.erase(id);
    return r;
}

int TCommandConsole::runningCount() const {
    int n = 0;
    for (const auto& [id, job] : jobs_) n += job->ended ? 0 : 1;
    return n;
}

void TCommandConsole::pump(std::uint64_t id) {
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    Job& job = *it->second;
    std::uint64_t skipped = 0;
    const std::string bytes = job.runner.take(&skipped);
    if (bytes.empty()) return;
    job.printed = true;
    OutputLines::Update u = job.lines.feed(bytes);
    if (skipped || u.dropped) u.completed.insert(u.completed.begin(), "... (earlier output left out)");
    lastShownIs(id);
    show(job, u.completed, job.lines.open());
}

void TCommandConsole::ended(std::uint64_t id, int exitCode) {
    pump(id);
    auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    Job& job = *it->second;
    job.ended = true;
    std::vector<std::string> last;
    if (job.printed) {
        if (std::string open = job.lines.takeOpen(); !open.empty()) last.push_back(std::move(open));
        if (exitCode != 0) last.push_back("[exit code " + std::to_string(exitCode) + "]");
    } else if (exitCode == 126 || exitCode == 127) {
        last.push_back(whyNotStarted(job.text, exitCode));
    }
    if (!last.empty()) {
        lastShownIs(id);
        show(job, last, {});
    }
    emit commandEnded(QString::fromStdString(job.text), exitCode);
}

void TCommandConsole::lastShownIs(std::uint64_t id) {
    if (lastShown_ == id) return;
    // Output of another command came last: its open line stays as it is, and this
    // command's output is headed by its command line.
    if (auto prev = jobs_.find(lastShown_); prev != jobs_.end() && window_) {
        const std::string open = prev->second->lines.takeOpen();
        window_->addLines(open.empty() ? std::vector<std::string>{} : std::vector<std::string>{open}, {});
    }
    lastShown_ = id;
    headerPending_ = true;
}

void TCommandConsole::show(Job& job, const std::vector<std::string>& lines, const std::string& open) {
    if (!window_) {
        window_ = new TOutputForm(owner_);
        const QRect o = owner_->geometry();
        window_->move(o.left() + 40, o.top() + 80);
    }
    std::vector<std::string> all;
    if (headerPending_) {
        all.push_back("$ " + job.text);
        headerPending_ = false;
    }
    all.insert(all.end(), lines.begin(), lines.end());
    window_->addLines(all, open);
    if (!window_->isVisible()) {
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
}

void TCommandConsole::forgetFinished() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (it->second->ended && !it->second->runner.running() && it->first != lastShown_)
            it = jobs_.erase(it);
        else
            ++it;
    }
}

}  // namespace kv
