#include "main/drive_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "main/tool_pictures.h"

namespace kv {

namespace {

int pictureIndex(platform::DriveKind k) {
    switch (k) {
        case platform::DriveKind::Removable: return 0;
        case platform::DriveKind::Fixed: return 1;
        case platform::DriveKind::CdRom: return 2;
        case platform::DriveKind::Network: return 3;
    }
    return 1;
}

const char* kindWord(platform::DriveKind k) {
    static const char* words[4] = {"floppy", "hdd", "cdrom", "network"};
    return words[pictureIndex(k)];
}

}  // namespace

TMyToolBar::TMyToolBar(const std::string& side, QWidget* parent) : QWidget(parent), Side(side) {
    setObjectName(QString::fromStdString("DriveBar" + side));
    setMouseTracking(true);
    pictures_ = {drivePicture(platform::DriveKind::Removable), drivePicture(platform::DriveKind::Fixed),
                 drivePicture(platform::DriveKind::CdRom), drivePicture(platform::DriveKind::Network)};
    resize(fullWidth(), kBarHeight);
}

void TMyToolBar::setDrives(const std::vector<platform::DriveInfo>& drives) {
    drives_ = drives;
    ButtonCount = static_cast<int>(drives_.size());
    Kinds.clear();
    for (const auto& d : drives_) Kinds.emplace_back(kindWord(d.kind));
    HotIndex = PrevHotIndex = 0;
    resize(fullWidth(), kBarHeight);
    update();
}

int TMyToolBar::hotIndexAt(int x) {
    // (x + 1) / 25 rounded up; at or left of -1 that is 0 or less, which means none.
    const int n = x + 1;
    return n <= 0 ? 0 : (n + kStep - 1) / kStep;
}

QRect TMyToolBar::frameRect(int index) const {
    return QRect(QPoint(kStep * index - kStep, 0), QPoint(kStep * index - 1, height() - 6));
}

void TMyToolBar::MouseMoveTo(int x) {
    const int hot = hotIndexAt(x);
    HotIndex = hot;
    if (PrevHotIndex != hot) {
        if (PrevHotIndex >= 1) update(frameRect(PrevHotIndex).adjusted(0, 0, 1, 1));
        PrevHotIndex = hot;
        if (hot >= 1 && hot <= ButtonCount) update(frameRect(hot).adjusted(0, 0, 1, 1));
    }
}

QString TMyToolBar::toolTipAt(int x) const {
    const int i = hotIndexAt(x);
    if (i < 1 || i > ButtonCount) return {};
    const auto& d = drives_[static_cast<size_t>(i - 1)];
    return QString::fromStdString(d.mountPoint + ": [" + std::string(platform::kindName(d.kind)) + "]");
}

void TMyToolBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    for (int i = 0; i < ButtonCount; ++i)
        p.drawPixmap(4 + kStep * i, 4,
                     pictures_[static_cast<size_t>(pictureIndex(drives_[static_cast<size_t>(i)].kind))]);
    if (PrevHotIndex >= 1 && PrevHotIndex <= ButtonCount) {
        // A raised 1 px frame: white at top and left, grey at bottom and right.
        const QRect r = frameRect(PrevHotIndex);
        p.setPen(QColor(255, 255, 255));
        p.drawLine(r.bottomLeft(), r.topLeft());
        p.drawLine(r.topLeft(), r.topRight());
        p.setPen(QColor(128, 128, 128));
        p.drawLine(r.topRight(), r.bottomRight());
        p.drawLine(r.bottomRight(), r.bottomLeft());
    }
}

void TMyToolBar::mouseMoveEvent(QMouseEvent* e) { MouseMoveTo(e->position().toPoint().x()); }

void TMyToolBar::leaveEvent(QEvent*) {
    if (OnMouseLeave) OnMouseLeave();
    MouseMoveTo(-10);
}

void TMyToolBar::mousePressEvent(QMouseEvent* e) {
    // The press itself says where it is: a click without a move before it still counts.
    MouseMoveTo(e->position().toPoint().x());
    e->accept();
    if (HotIndex < 1 || HotIndex > ButtonCount) return;
    if (OnDriveClick) OnDriveClick(Side, drives_[static_cast<size_t>(HotIndex - 1)].mountPoint);
}

bool TMyToolBar::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const QString tip = toolTipAt(help->pos().x());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this, frameRect(hotIndexAt(help->pos().x())));
        return true;
    }
    return QWidget::event(e);
}

}  // namespace kv
