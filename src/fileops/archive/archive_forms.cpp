#include "fileops/archive/archive_forms.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace kv {

namespace {

template <class W, class... Args>
W* named(QWidget* parent, const char* name, Args&&... args) {
    auto* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLineEdit* passwordEdit(QWidget* parent, const char* name) {
    auto* e = named<QLineEdit>(parent, name);
    e->setEchoMode(QLineEdit::Password);
    return e;
}

}  // namespace

TFormExtract::TFormExtract(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormExtract"));
    setWindowTitle(QStringLiteral("Extract files"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    GroupBox1 = named<QGroupBox>(this, "GroupBox1");
    Label1 = named<QLabel>(GroupBox1, "Label1", QStringLiteral("Extract to"));
    Edit1 = named<QComboBox>(GroupBox1, "Edit1");
    Edit1->setEditable(true);
    Edit1->setMinimumWidth(320);
    Label2 = named<QLabel>(GroupBox1, "Label2", QStringLiteral("Archive password"));
    Edit2 = passwordEdit(GroupBox1, "Edit2");
    Label3 = named<QLabel>(GroupBox1, "Label3", QStringLiteral("Existing files"));
    Overwrite = named<QComboBox>(GroupBox1, "Overwrite");
    Overwrite->addItems(
        {QStringLiteral("Ask"), QStringLiteral("Overwrite all"), QStringLiteral("Skip existing")});
    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(Edit1, 1, 0, 1, 2);
    grid->addWidget(Label2, 2, 0);
    grid->addWidget(Label3, 2, 1);
    grid->addWidget(Edit2, 3, 0);
    grid->addWidget(Overwrite, 3, 1);
    Button1 = named<QPushButton>(this, "Button1", QStringLiteral("&Extract"));
    Button1->setDefault(true);
    Button2 = named<QPushButton>(this, "Button2", QStringLiteral("&Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto* v = new QVBoxLayout(this);
    v->addWidget(GroupBox1);
    v->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    Edit1->setFocus();
}

TFormAdding::TFormAdding(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TFormAdding"));
    setWindowTitle(QStringLiteral("Add to archive"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    GroupBox1 = named<QGroupBox>(this, "GroupBox1", QStringLiteral(" Add to ZIP "));
    ComboBox1 = named<QComboBox>(GroupBox1, "ComboBox1");
    ComboBox1->setEditable(true);
    ComboBox1->setMinimumWidth(340);
    Label1 = named<QLabel>(GroupBox1, "Label1", QStringLiteral("Switches"));
    ComboBox2 = named<QComboBox>(GroupBox1, "ComboBox2");
    ComboBox2->setEnabled(false);
    Label2 = named<QLabel>(GroupBox1, "Label2", QStringLiteral("Archive password"));
    Edit1 = passwordEdit(GroupBox1, "Edit1");
    Label3 = named<QLabel>(GroupBox1, "Label3", QStringLiteral("Confirmation password"));
    Edit2 = passwordEdit(GroupBox1, "Edit2");
    CheckBox1 = named<QCheckBox>(GroupBox1, "CheckBox1", QStringLiteral("Delete files after archiving"));
    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(ComboBox1, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0, 1, 2);
    grid->addWidget(ComboBox2, 2, 0, 1, 2);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(Label3, 3, 1);
    grid->addWidget(Edit1, 4, 0);
    grid->addWidget(Edit2, 4, 1);
    grid->addWidget(CheckBox1, 5, 0, 1, 2);
    Button1 = named<QPushButton>(this, "Button1", QStringLiteral("&Add"));
    Button1->setDefault(true);
    Button2 = named<QPushButton>(this, "Button2", QStringLiteral("&Options"));
    Button3 = named<QPushButton>(this, "Button3", QStringLiteral("&Save"));
    Button2->setEnabled(false);
    Button3->setEnabled(false);
    Button4 = named<QPushButton>(this, "Button4", QStringLiteral("&Cancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button4);
    auto* v = new QVBoxLayout(this);
    v->addWidget(GroupBox1);
    v->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TFormAdding::accept);
    connect(Button4, &QPushButton::clicked, this, &QDialog::reject);
    ComboBox1->setFocus();
}

void TFormAdding::accept() {
    if (Edit1->text() != Edit2->text()) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Passwords do not match"));
        Edit2->setFocus();
        return;
    }
    if (ComboBox1->currentText().trimmed().isEmpty()) {
        ComboBox1->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace kv
