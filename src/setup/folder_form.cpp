#include "setup/folder_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include "platform/drives.h"

namespace kv::setup {

namespace {
constexpr int kPathRole = Qt::UserRole;
}

TForm2::TForm2(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Please select a folder"));
    setFixedSize(281, 290);
    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setGeometry(8, 8, 265, 24);
    DLB1 = new QListWidget(this);
    DLB1->setGeometry(8, 38, 265, 206);
    Button1 = new QPushButton(QStringLiteral("\u041e\u041a"), this);  // "OK" in Cyrillic letters
    Button1->setGeometry(112, 254, 77, 27);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setGeometry(196, 254, 77, 27);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(DLB1, &QListWidget::itemActivated, this, &TForm2::openRow);
    fillDrives();
    connect(DriveComboBox1, &QComboBox::activated, this,
            [this](int index) { SetDirectory(DriveComboBox1->itemData(index).toString()); });
    SetDirectory(QDir::homePath());
}

void TForm2::fillDrives() {
    DriveComboBox1->addItem(style()->standardIcon(QStyle::SP_DirHomeIcon), QDir::homePath(),
                            QDir::homePath());
    for (const platform::DriveInfo& d : platform::listDrives()) {
        const QString mount = QString::fromStdString(d.mountPoint);
        if (DriveComboBox1->findData(mount) < 0)
            DriveComboBox1->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), mount, mount);
    }
    if (DriveComboBox1->findData(QStringLiteral("/")) < 0)
        DriveComboBox1->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), QStringLiteral("/"),
                                QStringLiteral("/"));
}

void TForm2::SetDirectory(const QString& folder) {
    QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!QFileInfo(path).isDir()) return;
    directory_ = path;
    DLB1->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    // The way down: "/", then each folder to the current one, indented by depth.
    QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walked;
    int depth = 0;
    auto add = [this](const QIcon& icon, const QString& text, const QString& target, int indent) {
        auto* item = new QListWidgetItem(icon, QString(indent * 2, QLatin1Char(' ')) + text, DLB1);
        item->setData(kPathRole, target);
        return item;
    };
    QListWidgetItem* current = add(open, QStringLiteral("/"), QStringLiteral("/"), depth++);
    for (const QString& part : parts) {
        walked += QLatin1Char('/') + part;
        current = add(open, part, walked, depth++);
    }
    const QStringList inside =
        QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : inside)
        add(closed, name,
            path == QLatin1String("/") ? QLatin1Char('/') + name : path + QLatin1Char('/') + name, depth);
    DLB1->setCurrentItem(current);
}

void TForm2::openRow(QListWidgetItem* item) {
    if (item) SetDirectory(item->data(kPathRole).toString());
}

}  // namespace kv::setup
