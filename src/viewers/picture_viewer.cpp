#include "viewers/picture_viewer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <thread>

#include "panel/fpanel.h"
#include "platform/display_text.h"
#include "viewers/picture_decode.h"
#include "viewers/picture_loader.h"

namespace kv {

// One picture read on a worker thread. The worker owns a share of it, so a reading the
// viewer no longer wants (the user stepped on, the viewer closed) ends in its own time.
struct TViewerForm::Reading {
    std::string file;
    QSize room;
    viewers::LoadedPicture result;
    std::atomic<bool> done{false};
    std::thread worker;
};

TViewerForm::~TViewerForm() {
    // A reading still under way (a slow disk) must not hold the window's end.
    for (auto& r : readers_)
        if (r->worker.joinable()) r->done.load() ? r->worker.join() : r->worker.detach();
}

TViewerForm::TViewerForm(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Win_Pictavo  v1.0"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);

    Label5 = new QLabel(this);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSize(8);
    Label5->setFont(f);
    QPalette lp = Label5->palette();
    lp.setColor(QPalette::WindowText, Qt::white);
    Label5->setPalette(lp);
    Label5->move(16, 16);
    Label5->hide();

    poll_ = new QTimer(this);
    poll_->setInterval(10);
    connect(poll_, &QTimer::timeout, this, [this] { takeLoaded(); });
}

TViewerForm* TViewerForm::of(QWidget* mainWindow) {
    if (auto* v = mainWindow->findChild<TViewerForm*>(QString(), Qt::FindDirectChildrenOnly)) return v;
    return new TViewerForm(mainWindow);
}

bool TViewerForm::nameShown() const { return Label5->isVisible(); }

void TViewerForm::Start(TFPanel* active, std::array<TFPanel*, 2> panels) {
    active_ = active;
    panels_ = panels;
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    setGeometry(screen->geometry());
    show();
    raise();
    activateWindow();
    activate();
}

void TViewerForm::Show(TFPanel* active, std::array<TFPanel*, 2> panels) {
    Start(active, panels);
    if (isVisible()) exec();
}

void TViewerForm::activate() {
    if (!active_) return;
    const std::string path = active_->CurPath;
    if (active_->CurIsDir || !viewers::isPictureExtension(viewers::lowerExtensionOf(path))) {
        finish();
        return;
    }
    Label5->setText(QString::fromStdString(platform::visibleControls(active_->CurFile)));
    Label5->adjustSize();
    const std::string file = EntryFile ? EntryFile(active_) : path;
    shownPath_ = QFile::decodeName(QByteArray(file.data(), static_cast<qsizetype>(file.size())));
    // Read on a worker: a large picture or a slow disk never holds the window, and the
    // picture before stays on the screen until this one is ready.
    auto reading = std::make_shared<Reading>();
    reading->file = file;
    reading->room = size();
    std::function<viewers::LoadedPicture(const std::string&, QSize)> load = Load;
    if (!load) load = [](const std::string& f, QSize room) { return viewers::loadPicture(f, room); };
    reading->worker = std::thread([reading, load] {
        reading->result = load(reading->file, reading->room);
        reading->done.store(true);
    });
    readers_.push_back(reading);
    loading_ = std::move(reading);
    poll_->start();
    // The press that opened the viewer must not become a drag in a panel afterwards.
    for (TFPanel* panel : panels_)
        if (panel) panel->Controller().mouseRelease();
    update();
}

bool TViewerForm::takeLoaded() {
    // Workers that have ended are joined, the wanted one's picture shown.
    for (auto it = readers_.begin(); it != readers_.end();) {
        if ((*it)->done.load() && *it != loading_) {
            (*it)->worker.join();
            it = readers_.erase(it);
        } else {
            ++it;
        }
    }
    if (!loading_) {
        if (readers_.empty()) poll_->stop();
        return false;
    }
    if (!loading_->done.load()) return false;
    loading_->worker.join();
    std::erase(readers_, loading_);
    viewers::LoadedPicture p = std::move(loading_->result);
    loading_.reset();
    picture_ = std::move(p.image);
    message_ = p.message;
    if (!picture_.isNull()) {
        const viewers::PictureRect r =
            viewers::layoutPicture(picture_.width(), picture_.height(), width(), height());
        rect_ = QRect(r.left, r.top, r.width, r.height);
    } else {
        rect_ = QRect();
    }
    if (readers_.empty()) poll_->stop();
    update();
    return true;
}

bool TViewerForm::waitLoaded(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (loading_ && !takeLoaded()) {
        if (clock.elapsed() >= ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void TViewerForm::NextEntry() {
    if (!active_ || active_->cursorIndex() >= active_->FilesCount) return;
    active_->CursorDown();
    activate();
}

void TViewerForm::PreviousEntry() {
    if (!active_ || active_->cursorIndex() <= 1) return;
    active_->CursorUp();
    activate();
}

void TViewerForm::finish() {
    for (TFPanel* panel : panels_)
        if (panel) panel->Controller().mouseRelease();
    picture_ = QImage();  // a screenful of pixels is not kept while hidden
    loading_.reset();     // a reading under way ends unseen
    done(QDialog::Accepted);
    hide();
}

void TViewerForm::closeEvent(QCloseEvent* e) {
    QDialog::closeEvent(e);
    for (TFPanel* panel : panels_)
        if (panel) panel->Controller().mouseRelease();
}

void TViewerForm::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Right:
        case Qt::Key_PageDown:
        case Qt::Key_Down:
        case Qt::Key_Space: NextEntry(); return;
        case Qt::Key_Left:
        case Qt::Key_PageUp:
        case Qt::Key_Up:
        case Qt::Key_Backspace: PreviousEntry(); return;
        case Qt::Key_Insert:
            Label5->setText(active_ ? QString::fromStdString(platform::visibleControls(active_->CurFile)) : QString());
            Label5->adjustSize();
            Label5->setVisible(!Label5->isVisible());
            return;
        case Qt::Key_Menu:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R: return;
        default: break;
    }
    // Ctrl alone or Alt alone held (the key itself included) leaves the viewer open.
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::ControlModifier || mods == Qt::AltModifier) return;
    if (e->key() == Qt::Key_Control || e->key() == Qt::Key_Alt) return;
    finish();
}

void TViewerForm::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton)
        NextEntry();
    else if (e->button() == Qt::MiddleButton)
        PreviousEntry();
    else if (e->button() == Qt::LeftButton)
        leftPressed_ = true;
}

void TViewerForm::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && leftPressed_) {
        leftPressed_ = false;
        finish();
    }
}

void TViewerForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!picture_.isNull()) p.drawImage(rect_.topLeft(), picture_);
    if (!message_.isEmpty()) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSize(11);
        p.setFont(f);
        const QString text = QFileInfo(shownPath_).fileName() + QStringLiteral(": ") + message_;
        const QRect band(0, picture_.isNull() ? height() / 2 - 20 : height() - 48, width(), 40);
        p.fillRect(band, QColor(0, 0, 0, 160));
        p.setPen(Qt::white);
        p.drawText(band, Qt::AlignCenter | Qt::TextWordWrap, text);
    }
}

}  // namespace kv
