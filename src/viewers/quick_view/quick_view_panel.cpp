#include "viewers/quick_view/quick_view_panel.h"

#include <QFile>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

#include <atomic>
#include <chrono>
#include <thread>

#include "viewers/view/view_document.h"
#include "viewers/view_pane.h"
#include "viewers/picture_loader.h"

namespace kv {

namespace {

using Clock = std::chrono::steady_clock;
// A cancelled preview gets this long to stop before the next one starts beside it.
constexpr auto kWindDown = std::chrono::milliseconds(250);
// A new entry's preview that takes longer than this shows its progress instead of the
// previous entry's preview.
constexpr auto kShowProgressAfter = std::chrono::milliseconds(200);

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

struct TQuickView::Job {
    std::string path;
    QSize room;
    quickview::Progress progress;
    std::atomic<bool> done{false};
    Clock::time_point startedAt = Clock::now();
    Clock::time_point cancelledAt{};
    // Written by the worker before `done`, read by the window after it.
    quickview::Content content;
    QImage image;
    QString message;
    QSize natural;
    std::thread thread;
};

TQuickView::TQuickView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    poll_ = new QTimer(this);
    poll_->setInterval(30);
    connect(poll_, &QTimer::timeout, this, [this] { poll(); });
    resizePicture_ = new QTimer(this);
    resizePicture_->setSingleShot(true);
    resizePicture_->setInterval(100);
    connect(resizePicture_, &QTimer::timeout, this, [this] {
        if (shown_.kind != quickview::ContentKind::Picture || shown_.path != wanted_) return;
        wantedStarted_ = false;  // the same picture again, at the new size
        startWanted();
    });
    hexDoc_ = std::make_unique<view::ViewDocument>();
    hex_ = new TViewPane(*hexDoc_, this);
    hex_->setFocusPolicy(Qt::NoFocus);
    hex_->hide();
    // The readers' list of picture kinds is built once, here, not first on a worker.
    viewers::isPictureExtension(".png");
}

TQuickView::~TQuickView() {
    std::vector<std::shared_ptr<Job>> all = retired_;
    if (running_) all.push_back(running_);
    for (auto& j : all) j->progress.cancel = true;
    // Every preview stops within a read of its bounded prefix or one folder or entry; one
    // stuck on a dead mount is left behind rather than holding up the window's close.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (auto& j : all) {
        while (!j->done.load() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (j->done.load())
            j->thread.join();
        else
            j->thread.detach();
    }
}

void TQuickView::showEntry(const std::string& path, const std::string& name) {
    if (path == wanted_ && note_.empty()) return;
    wanted_ = path;
    wantedName_ = name;
    note_.clear();
    wantedStarted_ = false;
    if (running_ && !running_->done.load()) {
        running_->progress.cancel = true;
        running_->cancelledAt = Clock::now();
    }
    startWanted();
}

void TQuickView::showNote(const std::string& name, const std::string& note) {
    clear();
    shownName_ = name;
    note_ = note;
    update();
}

void TQuickView::clear() {
    if (running_ && !running_->done.load()) {
        running_->progress.cancel = true;
        running_->cancelledAt = Clock::now();
    }
    wanted_.clear();
    wantedName_.clear();
    shownName_.clear();
    note_.clear();
    wantedStarted_ = true;  // nothing to start
    shown_ = {};
    picture_ = {};
    pictureMessage_.clear();
    hideHex();
    update();
}

bool TQuickView::busy() const { return !wantedStarted_ || (running_ && !running_->done.load()); }

void TQuickView::startWanted() {
    if (wantedStarted_ || wanted_.empty()) return;
    poll_->start();
    if (running_) {
        if (!running_->done.load()) {
            if (Clock::now() - running_->cancelledAt < kWindDown) return;  // poll() tries again
            retired_.push_back(running_);
        } else {
            running_->thread.join();
        }
        running_.reset();
    }
    auto job = std::make_shared<Job>();
    job->path = wanted_;
    job->room = bodyRect().size();
    running_ = job;
    wantedStarted_ = true;
    job->thread = std::thread([job] {
        job->content = quickview::describeEntry(
            job->path, {}, &job->progress, [](std::string_view e) { return viewers::isPictureExtension(e); });
        if (job->content.kind == quickview::ContentKind::Picture && !job->progress.cancelled()) {
            const QByteArray name(job->path.data(), static_cast<qsizetype>(job->path.size()));
            viewers::LoadedPicture p = viewers::loadPicture(QFile::decodeName(name), job->room);
            job->image = std::move(p.image);
            job->message = std::move(p.message);
            job->natural = p.natural;
        }
        job->done.store(true);
    });
}

void TQuickView::reap() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

void TQuickView::poll() {
    reap();
    if (running_ && running_->done.load()) {
        const bool current = running_->path == wanted_ && !running_->progress.cancelled();
        running_->thread.join();
        std::shared_ptr<Job> job = std::move(running_);
        if (current) take(*job);
    }
    if (!wantedStarted_) startWanted();
    if (busy()) update();  // a folder's running totals, or the progress note
    if (!busy() && retired_.empty()) poll_->stop();
}

void TQuickView::take(Job& job) {
    shown_ = std::move(job.content);
    picture_ = std::move(job.image);
    pictureMessage_ = std::move(job.message);
    if (shown_.kind == quickview::ContentKind::Picture && job.natural.isValid())
        shown_.heading =
            "Picture, " + std::to_string(job.natural.width()) + " x " + std::to_string(job.natural.height());
    shownName_ = wantedName_;
    std::string error;
    if (shown_.kind == quickview::ContentKind::Hex && hexDoc_->open(shown_.path, &error)) {
        hexDoc_->setMode(view::ViewMode::Hex);
        placeHex();
        hex_->relayout();
        hex_->show();
    } else {
        hideHex();
    }
    update();
    emit previewShown(QString::fromStdString(shown_.path));
}

void TQuickView::setLook(const QColor& back, const QColor& text, const QColor& title, const QColor& line,
                         const QFont& font) {
    back_ = back;
    text_ = text;
    title_ = title;
    line_ = line;
    setFont(font);
    QPalette p = hex_->palette();
    p.setColor(QPalette::Base, back);
    p.setColor(QPalette::Text, text);
    hex_->setPalette(p);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSize(std::max(7, font.pointSize()));
    hex_->setFont(fixed);
    placeHex();
    update();
}

QRect TQuickView::bodyRect() const {
    const int row = QFontMetrics(font()).height() + 4;
    return rect().adjusted(4, 2 * row + 6, -4, -4);
}

void TQuickView::placeHex() { hex_->setGeometry(bodyRect()); }

void TQuickView::hideHex() {
    hex_->hide();
    hexDoc_->file().close();  // the previewed file is let go (a stick can be unmounted)
    hex_->relayout();
}

void TQuickView::resizeEvent(QResizeEvent*) {
    placeHex();
    if (shown_.kind == quickview::ContentKind::Picture) resizePicture_->start();
}

void TQuickView::mousePressEvent(QMouseEvent* e) { e->accept(); }
void TQuickView::wheelEvent(QWheelEvent* e) { e->accept(); }

void TQuickView::paintEvent(QPaintEvent*) {
    using quickview::ContentKind;
    QPainter p(this);
    p.fillRect(rect(), back_);
    p.setPen(line_);
    p.drawRect(rect().adjusted(1, 1, -2, -2));
    const QFontMetrics fm(font());
    const int row = fm.height() + 4;

    // A preview that is taking a while shows the new entry's name and how far it got;
    // a quick one simply replaces the previous preview.
    const bool slow = running_ && !running_->done.load() && running_->path == wanted_ &&
                      Clock::now() - running_->startedAt > kShowProgressAfter;
    QString name = fromUtf8(slow ? wantedName_ : shownName_);
    QString heading = fromUtf8(note_.empty() ? shown_.heading : note_);
    std::vector<std::string> lines;
    if (slow) {
        const quickview::Progress& pr = running_->progress;
        if (pr.counting.load()) {
            heading = QStringLiteral("Folder, counting...");
            lines = {"Files: " + quickview::groupDigits(pr.files.load()),
                     "Folders: " + quickview::groupDigits(pr.folders.load()),
                     "Bytes: " + quickview::groupDigits(pr.bytes.load())};
        } else {
            heading = QStringLiteral("Reading...");
        }
    }
    const QRect titleRect(4, 3, width() - 8, row);
    p.setPen(title_);
    p.drawText(titleRect, Qt::AlignHCenter | Qt::AlignVCenter,
               fm.elidedText(name, Qt::ElideMiddle, titleRect.width()));
    const QRect headRect(6, 3 + row, width() - 12, row);
    p.setPen(text_);
    p.drawText(headRect, Qt::AlignLeft | Qt::AlignVCenter,
               fm.elidedText(heading, Qt::ElideRight, headRect.width()));
    p.setPen(line_);
    p.drawLine(2, 3 + 2 * row + 1, width() - 3, 3 + 2 * row + 1);

    const QRect body = bodyRect().adjusted(2, 0, -2, 0);
    p.setClipRect(body);
    p.setPen(text_);
    if (slow) {
        int y = body.top();
        for (const std::string& l : lines) {
            p.drawText(QRect(body.left(), y, body.width(), row), Qt::AlignLeft | Qt::AlignVCenter,
                       fromUtf8(l));
            y += row;
        }
        return;
    }
    if (!note_.empty()) return;
    switch (shown_.kind) {
        case ContentKind::Nothing:
        case ContentKind::Hex: return;  // the hex dump paints itself
        case ContentKind::Picture: {
            if (picture_.isNull()) {
                p.drawText(body, Qt::AlignCenter | Qt::TextWordWrap,
                           pictureMessage_.isEmpty() ? QStringLiteral("The picture cannot be shown")
                                                     : pictureMessage_);
                return;
            }
            // Scaled for the room when it was read: centred, and scaled again only
            // when the panel has since become smaller than the picture.
            QSize size = picture_.size();
            if (size.width() > body.width() || size.height() > body.height())
                size.scale(body.size(), Qt::KeepAspectRatio);
            const QRect at(body.left() + (body.width() - size.width()) / 2,
                           body.top() + (body.height() - size.height()) / 2, size.width(), size.height());
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(at, picture_);
            return;
        }
        case ContentKind::Archive: {
            int y = body.top();
            const int sizeWidth = fm.horizontalAdvance(QStringLiteral("9,999,999,999")) + 8;
            for (const std::string& l : shown_.lines) {
                if (y + row > body.bottom() + 1) break;
                const std::size_t tab = l.rfind('\t');
                const QString entry = fromUtf8(l.substr(0, tab));
                const QString size = tab == std::string::npos ? QString() : fromUtf8(l.substr(tab + 1));
                const QRect nameRect(body.left(), y, body.width() - sizeWidth, row);
                p.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                           fm.elidedText(entry, Qt::ElideMiddle, nameRect.width()));
                p.drawText(QRect(body.right() - sizeWidth, y, sizeWidth, row),
                           Qt::AlignRight | Qt::AlignVCenter, size);
                y += row;
            }
            // The totals stay in view under however many names fit.
            const QString total = QStringLiteral("%1 bytes in %2 entries")
                                      .arg(fromUtf8(quickview::groupDigits(shown_.totalBytes)),
                                           fromUtf8(quickview::groupDigits(shown_.files)));
            const QRect foot(body.left(), body.bottom() - row + 1, body.width(), row);
            p.fillRect(foot, back_);
            p.setPen(title_);
            p.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, total);
            return;
        }
        case ContentKind::Text:
        case ContentKind::Executable: {
            QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            fixed.setPointSize(std::max(7, font().pointSize()));
            p.setFont(fixed);
            const QFontMetrics ffm(fixed);
            const int frow = ffm.height();
            int y = body.top();
            for (const std::string& l : shown_.lines) {
                if (y + frow > body.bottom() + 1) break;
                p.drawText(QRect(body.left(), y, body.width(), frow), Qt::AlignLeft | Qt::AlignVCenter,
                           ffm.elidedText(fromUtf8(l), Qt::ElideRight, body.width()));
                y += frow;
            }
            return;
        }
        case ContentKind::Folder:
        case ContentKind::Special:
        case ContentKind::Error: {
            int y = body.top();
            for (const std::string& l : shown_.lines) {
                p.drawText(QRect(body.left(), y, body.width(), row), Qt::AlignLeft | Qt::AlignVCenter,
                           fm.elidedText(fromUtf8(l), Qt::ElideRight, body.width()));
                y += row;
            }
            return;
        }
    }
}

}  // namespace kv
