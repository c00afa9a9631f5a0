#include "main/panel_dialogs/form_plus.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/main_form.h"
#include "panel/model/mask.h"

namespace kv {

TFormPlus& TFormPlus::instance(TForm1& form) {
    if (auto* d = form.findChild<TFormPlus*>(QStringLiteral("FormPlus"), Qt::FindDirectChildrenOnly))
        return *d;
    return *new TFormPlus(form);
}

TFormPlus::TFormPlus(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormPlus"));
    setWindowTitle(QStringLiteral("Expand selection"));
    Label1 = new QLabel(QStringLiteral("Specify file type"), this);
    Edit1 = new QComboBox(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setEditable(true);
    Edit1->setInsertPolicy(QComboBox::NoInsert);  // remember() keeps the list
    Edit1->setEditText(QStringLiteral("*.*"));
    Label1->setBuddy(Edit1);
    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Edit1);
    layout->addLayout(buttons);
    setFixedWidth(260);

    connect(Button1, &QPushButton::clicked, this, &TFormPlus::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

bool TFormPlus::run(GroupAction action) {
    action_ = action;
    setWindowTitle(action == GroupAction::Flip ? QStringLiteral("Expand selection")
                                               : QStringLiteral("Reduce selection"));
    Edit1->setFocus();
    Edit1->lineEdit()->selectAll();
    return exec() == QDialog::Accepted;
}

void TFormPlus::Button1Click() {
    const QString mask = Edit1->currentText();
    TFPanel* p = form_.activePanel();
    try {
        selectGroup(p->FL, mask.toStdString(), action_);
    } catch (const EMaskError& e) {
        // The dialog stays, so the mask can be mended.
        QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(e.what()));
        return;
    }
    p->DrawList();
    if (p->Active) p->DrawCursor();
    remember(mask);
    accept();
}

void TFormPlus::remember(const QString& mask) {
    // Newest first, each mask once.
    const int at = Edit1->findText(mask, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (at >= 0) Edit1->removeItem(at);
    Edit1->insertItem(0, mask);
    Edit1->setCurrentIndex(0);
}

}  // namespace kv
