#include "main/panel_dialogs/form_drive.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <thread>

#include "main/main_form.h"
#include "platform/dir_reader.h"

namespace kv {

namespace {

constexpr int kRowHeight = 20;
constexpr int kMinWidth = 146;

struct Answer {
    std::atomic<bool> done{false};
    std::atomic<bool> ready{false};
};

}  // namespace

std::string TFormDrive::rowText(const platform::DriveInfo& d, const std::string& label) {
    if (d.kind != platform::DriveKind::Fixed)
        return d.mountPoint + ": [" + std::string(platform::kindName(d.kind)) + "]";
    std::string l = label;
    std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return std::tolower(c); });
    if (l.empty()) l = "No-name";
    l[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(l[0])));
    return d.mountPoint + ": [" + l + "]";
}

TFormDrive& TFormDrive::instance(TForm1& form) {
    if (auto* d = form.findChild<TFormDrive*>(QStringLiteral("FormDrive"), Qt::FindDirectChildrenOnly))
        return *d;
    return *new TFormDrive(form);
}

TFormDrive::TFormDrive(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormDrive"));
    setWindowTitle(QStringLiteral("Change drive"));
    Drives = [] { return platform::listDrives(); };
    Probe = platform::driveAnswers;
    DriveList = new QTableWidget(this);
    DriveList->setObjectName(QStringLiteral("DriveList"));
    DriveList->setColumnCount(1);
    DriveList->horizontalHeader()->hide();
    DriveList->verticalHeader()->hide();
    DriveList->horizontalHeader()->setStretchLastSection(true);
    DriveList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DriveList->verticalHeader()->setDefaultSectionSize(kRowHeight);
    DriveList->setSelectionBehavior(QAbstractItemView::SelectRows);
    DriveList->setSelectionMode(QAbstractItemView::SingleSelection);
    DriveList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DriveList->setShowGrid(false);
    DriveList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    DriveList->setMouseTracking(true);
    DriveList->viewport()->setMouseTracking(true);
    DriveList->viewport()->installEventFilter(this);
    QPalette pal = DriveList->palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    DriveList->setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(DriveList);
}

void TFormDrive::showFor(const std::string& side, bool modal) {
    side_ = side == "Left" ? "Left" : "Right";
    form_.cfg().FilesPanel.DriveTarget = side_;
    FormActivate();
    if (modal) {
        exec();
        return;
    }
    show();
    raise();
    activateWindow();
}

void TFormDrive::FormActivate() {
    drives_ = Drives();
    DriveList->setRowCount(static_cast<int>(drives_.size()));
    const QFontMetrics fm(DriveList->font());
    int widest = kMinWidth;
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        const auto& d = drives_[i];
        // Only fixed disks show a label; reading it never touches a network share.
        const std::string label =
            d.kind == platform::DriveKind::Fixed ? platform::volumeId(d.mountPoint).label : std::string();
        const QString text = QString::fromStdString(rowText(d, label));
        auto* item = new QTableWidgetItem(text);
        item->setData(Qt::UserRole, QString::fromStdString(d.mountPoint));
        DriveList->setItem(static_cast<int>(i), 0, item);
        widest = std::max(widest, fm.horizontalAdvance(text) + 16);
    }
    // The row of the drive the target panel shows.
    TFPanel* p = form_.panelOf(side_);
    const platform::DriveInfo* here = platform::driveOf(drives_, p->CurDir);
    const int row = here ? static_cast<int>(here - drives_.data()) : 0;
    if (!drives_.empty()) DriveList->selectRow(row);

    const int rows = static_cast<int>(drives_.size());
    const int gridH = rows * kRowHeight + 4;
    const QScreen* screen = form_.screen() ? form_.screen() : QGuiApplication::primaryScreen();
    const int screenH = screen ? screen->geometry().height() : 768;
    const QRect main = form_.geometry();
    const int x = side_ == "Left" ? main.x() + 40 : main.x() + main.width() / 2 + 40;
    if (gridH + 38 > screenH - 60) {
        DriveList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setFixedSize(widest + 4 + DriveList->verticalScrollBar()->sizeHint().width(), screenH - 60);
        move(x, 30);
    } else {
        DriveList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setFixedSize(widest + 4, gridH + 4);
        move(x, main.y() + 90);
    }
    DriveList->setFocus();
}

void TFormDrive::chooseRow(int row) {
    if (checking_ || row < 0 || row >= static_cast<int>(drives_.size())) return;
    const std::string mount = drives_[static_cast<std::size_t>(row)].mountPoint;
    checking_ = true;
    auto a = std::make_shared<Answer>();
    // Detached: a hung mount keeps only this thread waiting.
    std::thread([a, mount, probe = Probe] {
        a->ready = probe(mount);
        a->done = true;
    }).detach();
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    const auto asked = std::chrono::steady_clock::now();
    connect(poll, &QTimer::timeout, this, [this, poll, a, mount, asked] {
        const bool late = std::chrono::steady_clock::now() - asked > AnswerLimit;
        if (!a->done && !late) return;
        poll->stop();
        poll->deleteLater();
        // Closed meanwhile: the choice was taken back.
        if (!isVisible()) {
            checking_ = false;
            return;
        }
        answer(mount, a->done && a->ready);
    });
    poll->start();
}

void TFormDrive::answer(const std::string& mountPoint, bool ready) {
    checking_ = false;
    if (!ready) {
        boxShown_ = true;
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("Drive not ready, please select another drive"));
        boxShown_ = false;
        emit notReady(QString::fromStdString(mountPoint));
        return;  // the chooser stays for another choice
    }
    goTo(mountPoint);
}

void TFormDrive::goTo(const std::string& mountPoint) {
    TFPanel* p = form_.panelOf(side_);
    TFPanel* other = side_ == "Left" ? form_.RightPanel : form_.LeftPanel;
    // The other panel's mount is the longest mount point its folder lies under; on the
    // same mount the panel takes the other panel's folder.
    const platform::DriveInfo* otherDrive = platform::driveOf(drives_, other->CurDir);
    const std::string folder =
        otherDrive && otherDrive->mountPoint == mountPoint ? other->CurDir : mountPoint;
    form_.changeFolder(p, folder);
    other->update();
    if (p->Style == 2) {
        p->Style = 1;
        p->DrawList();
    }
    emit changed(QString::fromStdString(folder));
    accept();
}

bool TFormDrive::eventFilter(QObject* watched, QEvent* event) {
    if (watched != DriveList->viewport()) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseMove) {
        const int row = DriveList->rowAt(static_cast<QMouseEvent*>(event)->position().toPoint().y());
        DriveList->selectRow(row >= 0 ? row : DriveList->rowCount() - 1);
        DriveList->setFocus();
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() != Qt::LeftButton) {
            reject();
            return true;
        }
        const int row = DriveList->rowAt(me->position().toPoint().y());
        if (row >= 0) {
            DriveList->selectRow(row);
            chooseRow(row);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormDrive::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        chooseRow(DriveList->currentRow());
        return;
    }
    QDialog::keyPressEvent(event);  // Esc closes
}

void TFormDrive::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) reject();
}

void TFormDrive::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        wasActive_ = true;
        return;
    }
    // Losing the focus closes the modeless chooser, but not for its own error box or
    // while a drive is being asked.
    if (wasActive_ && !boxShown_ && !checking_ && !isModal() && isVisible()) {
        wasActive_ = false;
        reject();
    }
}

}  // namespace kv
