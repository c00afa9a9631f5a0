#include "main/format/format_form.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv::format {

TFormFormat::TFormFormat(QWidget* parent, DiskService& service) : QDialog(parent), service_(service) {
    setObjectName(QStringLiteral("FormFormat"));
    setWindowTitle(QStringLiteral("Format floppy drive"));
    auto* label1 = new QLabel(QStringLiteral("Removable disks:"), this);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    CheckBox1 = new QCheckBox(QStringLiteral("&Quick format"), this);
    auto* labelName = new QLabel(QStringLiteral("Volume &label:"), this);
    Edit1 = new QLineEdit(this);
    Edit1->setMaxLength(11);  // what FAT keeps
    labelName->setBuddy(Edit1);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Button1 = new QPushButton(QStringLiteral("&Format"), this);
    Button2 = new QPushButton(QStringLiteral("&Close"), this);

    auto* name = new QHBoxLayout;
    name->addWidget(labelName);
    name->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label1);
    layout->addWidget(ListBox1);
    layout->addWidget(CheckBox1);
    layout->addLayout(name);
    layout->addWidget(Label2);
    layout->addLayout(buttons);
    resize(420, 260);

    connect(Button1, &QPushButton::clicked, this, &TFormFormat::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFormFormat::reject);
    connect(ListBox1, &QListWidget::currentRowChanged, this,
            [this](int row) { Button1->setEnabled(row >= 0 && !busy_); });
    refresh();
}

void TFormFormat::refresh() {
    std::vector<BlockRecord> blocks;
    std::vector<DriveRecord> drives;
    std::string error;
    ListBox1->clear();
    candidates_.clear();
    if (!service_.inventory(blocks, drives, error)) {
        Label2->setText(QStringLiteral("The disks cannot be listed: ") + QString::fromStdString(error));
    } else {
        candidates_ = formatCandidates(blocks, drives);
        for (const FormatCandidate& c : candidates_)
            ListBox1->addItem(QString::fromStdString(candidateText(c)));
        Label2->setText(candidates_.empty() ? QStringLiteral("No removable disk is attached.") : QString());
    }
    if (!candidates_.empty()) ListBox1->setCurrentRow(0);
    Button1->setEnabled(!candidates_.empty());
}

void TFormFormat::Button1Click() {
    const int row = ListBox1->currentRow();
    if (busy_ || row < 0 || row >= static_cast<int>(candidates_.size())) return;
    const FormatCandidate c = candidates_[static_cast<std::size_t>(row)];
    const QString what = QString::fromStdString(candidateText(c));
    if (QMessageBox::warning(this, QStringLiteral("Format floppy drive"),
                             QStringLiteral("Everything on %1 will be erased.\nFormat it?").arg(what),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    FormatRequest req;
    req.quick = CheckBox1->isChecked();
    req.label = Edit1->text().trimmed().toStdString();
    busy_ = true;
    Button1->setEnabled(false);
    Button2->setEnabled(false);
    Label2->setText(QStringLiteral("Formatting %1 ...").arg(QString::fromStdString(c.device)));
    QPointer<TFormFormat> self(this);
    service_.format(c.objectPath, req, [self, device = c.device](const std::string& error) {
        if (!self) return;
        self->busy_ = false;
        self->Button2->setEnabled(true);
        self->Button1->setEnabled(self->ListBox1->currentRow() >= 0);
        self->Label2->setText(error.empty()
                                  ? QStringLiteral("%1 is formatted.").arg(QString::fromStdString(device))
                                  : QStringLiteral("Format failed: ") + QString::fromStdString(error));
        emit self->finished(QString::fromStdString(error));
    });
}

void TFormFormat::reject() {
    if (busy_) return;  // the service is still at work on the disk
    QDialog::reject();
}

}  // namespace kv::format
