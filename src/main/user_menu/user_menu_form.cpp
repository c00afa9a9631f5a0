#include "main/user_menu/user_menu_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "main/settings/language.h"

namespace kv {

namespace {

// The old window's frame around the client area (caption and borders).
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 25;

}  // namespace

TFormMenu::TFormMenu(QWidget* parent, std::filesystem::path menuFile, const std::string& language)
    : QDialog(parent), menuFile_(std::move(menuFile)) {
    setObjectName(QStringLiteral("FormMenu"));
    auto text = [&language](const char* key, const char* english) {
        return QString::fromStdString(kvLanguage().DialogText(language, "Menu", key, english));
    };
    setWindowTitle(text("Caption", "Main menu"));

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    auto button = [this](const char* name, const QString& caption, int left, int top) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(left, top, 75, 25);
        return b;
    };
    Button1 = button("Button1", text("Start", "&Start"), 8, 192);
    Button2 = button("Button2", text("Cancel", "&Cancel"), 88, 192);
    Button3 = button("Button3", text("Configuration", "&Options"), 168, 192);
    Button4 = button("Button4", text("Insert", "&Insert"), 8, 224);
    Button5 = button("Button5", text("Delete", "&Delete"), 88, 224);
    Button6 = button("Button6", text("Change", "&Change"), 168, 224);
    Button1->setDefault(true);

    Label1 = new QLabel(text("ProgramCaption", "Program caption"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 94, 233, 16);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(8, 112, 233, 21);
    Label2 = new QLabel(text("CommandForRun", "Command to run"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 140, 233, 16);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(8, 158, 233, 21);
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);

    connect(Button1, &QPushButton::clicked, this, &TFormMenu::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TFormMenu::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TFormMenu::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TFormMenu::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TFormMenu::Button6Click);
    All_Init();
}

void TFormMenu::setWindowHeight(int oldHeight) {
    windowHeight_ = oldHeight;
    setFixedSize(256 - kFrameWidth, oldHeight - kFrameHeight);
}

void TFormMenu::All_Init() {
    setWindowHeight(kCollapsedHeight);
    editing_ = false;
    ListBox1->setGeometry(8, 8, 233, 169);
    ListBox1->setVisible(true);
    ListBox1->setEnabled(true);
    for (QPushButton* b : {Button1, Button2, Button3}) b->setVisible(true);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Button4, Button5, Button6, Edit1, Edit2, Label1, Label2})
        w->setVisible(false);
    Edit1->clear();
    Edit2->clear();
    for (QPushButton* b : {Button1, Button2, Button3, Button4, Button5, Button6}) b->setEnabled(true);
}

std::string TFormMenu::Load_Menu() {
    const MenuFileRead r = ReadMenuFile(menuFile_);
    ListBox1->clear();
    ComList.clear();
    for (const MenuEntry& e : r.entries) {
        ListBox1->addItem(QString::fromStdString(e.caption));
        ComList << QString::fromStdString(e.command);
    }
    return r.error;
}

std::vector<MenuEntry> TFormMenu::entries() const {
    std::vector<MenuEntry> out;
    for (int i = 0; i < ListBox1->count(); ++i)
        out.push_back(
            {ListBox1->item(i)->text().toStdString(), i < ComList.size() ? ComList[i].toStdString() : ""});
    return out;
}

std::string TFormMenu::Save_Menu() {
    const MenuFileWrite r = WriteMenuFile(menuFile_, entries());
    return r.message;
}

void TFormMenu::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
    if (loaded_) return;
    loaded_ = true;
    All_Init();
    const std::string damage = Load_Menu();
    MenuChanged = false;
    if (!damage.empty()) {
        // Over the dialog, once it is on screen; the entries that could be read are listed.
        QTimer::singleShot(0, this, [this, damage] {
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(damage));
        });
    }
}

// Esc closes as in every dialog; F2, the key that opened the menu, closes it too (the list and
// the edit fields pass it on).
void TFormMenu::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormMenu::Button1Click() {
    const int row = ListBox1->currentRow();
    if (row >= 0 && row < ComList.size() && ListBox1->item(row)->isSelected())
        Launch(PlanMenuCommand(ComList[row].toStdString()));
    accept();
}

void TFormMenu::Button3Click() {
    MenuChanged = true;
    if (windowHeight_ == kExpandedHeight) {
        All_Init();
        return;
    }
    setWindowHeight(kExpandedHeight);
    Button1->setEnabled(false);
    for (QPushButton* b : {Button4, Button5, Button6}) b->setVisible(true);
}

void TFormMenu::enterEditMode(bool inserting) {
    editing_ = true;
    ListBox1->setGeometry(8, 8, 233, 81);
    ListBox1->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1, Edit2, Label1, Label2}) w->setVisible(true);
    for (QPushButton* b : {Button1, Button5}) b->setEnabled(false);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    Button4->setEnabled(inserting);
    Button6->setEnabled(!inserting);
    Edit1->setFocus();
}

void TFormMenu::Button4Click() {
    if (!Edit1->text().isEmpty() && !Edit2->text().isEmpty()) {
        ListBox1->addItem(Edit1->text());
        ComList << Edit2->text();
        All_Init();
        return;
    }
    enterEditMode(true);
}

void TFormMenu::Button5Click() {
    const int row = ListBox1->currentRow();
    if (row >= 0 && row < ListBox1->count() && ListBox1->item(row)->isSelected()) {
        delete ListBox1->takeItem(row);
        if (row < ComList.size()) ComList.removeAt(row);
    }
    All_Init();
}

void TFormMenu::Button6Click() {
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= ListBox1->count() || !ListBox1->item(row)->isSelected()) return;
    if (!Edit1->text().isEmpty() && !Edit2->text().isEmpty()) {
        ListBox1->item(row)->setText(Edit1->text());
        while (ComList.size() <= row) ComList << QString();
        ComList[row] = Edit2->text();
        All_Init();
        return;
    }
    enterEditMode(false);
    Edit1->setText(ListBox1->item(row)->text());
    Edit2->setText(row < ComList.size() ? ComList[row] : QString());
}

void TFormMenu::done(int result) {
    if (MenuChanged) {
        MenuChanged = false;
        if (const std::string why = Save_Menu(); !why.empty())
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(why));
    }
    QDialog::done(result);
}

}  // namespace kv
