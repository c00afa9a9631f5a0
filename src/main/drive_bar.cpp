#include "main/drive_bar.h"

#include <QStyle>
#include <QToolButton>

namespace kv {

TMyToolBar::TMyToolBar(const std::string& side, QWidget* parent) : QWidget(parent), Side(side) {
    setObjectName(QString::fromStdString("DriveBar" + side));
}

void TMyToolBar::setDrives(const std::vector<platform::DriveInfo>& drives) {
    for (QObject* child : children()) delete child;
    drives_ = drives;
    int x = 3;
    for (const auto& d : drives_) {
        auto* b = new QToolButton(this);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        QStyle::StandardPixmap pm = QStyle::SP_DriveHDIcon;
        switch (d.kind) {
            case platform::DriveKind::Removable: pm = QStyle::SP_DriveFDIcon; break;
            case platform::DriveKind::Network: pm = QStyle::SP_DriveNetIcon; break;
            case platform::DriveKind::CdRom: pm = QStyle::SP_DriveCDIcon; break;
            case platform::DriveKind::Fixed: break;
        }
        b->setIcon(style()->standardIcon(pm));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(QString::fromStdString(d.mountPoint + ": [" + std::string(platform::kindName(d.kind)) + "]"));
        b->setGeometry(x, 0, kStep, kStep);
        const std::string mount = d.mountPoint;
        connect(b, &QToolButton::clicked, this, [this, mount] {
            if (OnDriveClick) OnDriveClick(Side, mount);
        });
        b->show();
        x += kStep;
    }
    resize(fullWidth(), kStep);
}

}  // namespace kv
