#include "main/options/options_form.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QVBoxLayout>

#include "main/main_form.h"

namespace kv {

namespace {

QCheckBox* check(QWidget* parent, QBoxLayout* into, const char* name, const char* caption) {
    auto* c = new QCheckBox(QString::fromUtf8(caption), parent);
    c->setObjectName(QString::fromLatin1(name));
    into->addWidget(c);
    return c;
}

QSpinBox* spin(QWidget* parent, const char* name, const SpinRange& r) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(r.min, r.max);
    s->setValue(r.def);
    s->setFixedWidth(56);
    return s;
}

// A label and its spin box on one row of a grid.
QLabel* spinRow(QGridLayout* grid, int row, QWidget* parent, const char* labelName, const char* caption,
                QSpinBox* box) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    l->setObjectName(QString::fromLatin1(labelName));
    l->setBuddy(box);
    grid->addWidget(l, row, 0);
    grid->addWidget(box, row, 1);
    return l;
}

}  // namespace

TFormParam::TFormParam(TForm1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("FormParam"));
    setWindowTitle(QStringLiteral("Main options"));

    Book = new QTabWidget(this);
    Book->setObjectName(QStringLiteral("Book"));

    // --- Main
    auto* main = new QWidget(Book);
    auto* mainBox = new QVBoxLayout(main);
    auto* panel1 = new QFrame(main);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* headBox = new QHBoxLayout(panel1);
    Label6 = new QLabel(QStringLiteral("Set configuration"), panel1);
    Label6->setObjectName(QStringLiteral("Label6"));
    QFont bold = Label6->font();
    bold.setBold(true);
    Label6->setFont(bold);
    Label6->setAlignment(Qt::AlignCenter);
    headBox->addWidget(Label6);
    mainBox->addWidget(panel1);
    auto* splitGrid = new QGridLayout;
    Edit4 = spin(main, "Edit4", SplitterRange());
    spinRow(splitGrid, 0, main, "Label4", "Wide of the splitter:", Edit4);
    splitGrid->setColumnStretch(2, 1);
    mainBox->addLayout(splitGrid);
    CheckBox18 = check(main, mainBox, "CheckBox18", "Show icon on system tray");
    CheckBox17 = check(main, mainBox, "CheckBox17", "Save command history");
    CheckBox15 = check(main, mainBox, "CheckBox15", "Use system copy routine");
    CheckBox16 = check(main, mainBox, "CheckBox16", "Delete to Recycle Bin");
    CheckBox14 = check(main, mainBox, "CheckBox14", "Always on top");
    // Shown as the old dialog had them; neither setting exists.
    CheckBox17->setChecked(false);
    CheckBox17->setEnabled(false);
    CheckBox15->setChecked(true);
    CheckBox15->setEnabled(false);
    auto* langBox = new QHBoxLayout;
    Lang1 = new QRadioButton(QStringLiteral("&Russian language"), main);
    Lang1->setObjectName(QStringLiteral("Lang1"));
    Lang2 = new QRadioButton(QStringLiteral("&English language"), main);
    Lang2->setObjectName(QStringLiteral("Lang2"));
    langBox->addWidget(Lang1);
    langBox->addWidget(Lang2);
    langBox->addStretch();
    mainBox->addLayout(langBox);
    mainBox->addStretch();
    Book->addTab(main, QStringLiteral("Main"));

    // --- Panels
    auto* panels = new QWidget(Book);
    auto* panelsBox = new QVBoxLayout(panels);
    GroupBox2 = new QGroupBox(panels);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    auto* groupBox = new QVBoxLayout(GroupBox2);
    auto* grid = new QGridLayout;
    Edit1 = spin(GroupBox2, "Edit1", ColumnsRange());
    Edit2 = spin(GroupBox2, "Edit2", LengthRange());
    Edit3 = spin(GroupBox2, "Edit3", ScrollHeightRange());
    spinRow(grid, 0, GroupBox2, "Label1", "Number of columns: .................", Edit1);
    spinRow(grid, 1, GroupBox2, "Label2", "Height file of a position: ............", Edit2);
    spinRow(grid, 2, GroupBox2, "Label5", "Height of scroll bar: ..................", Edit3);
    grid->setColumnStretch(2, 1);
    groupBox->addLayout(grid);
    auto* flags = new QGridLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    CheckBox5 = check(GroupBox2, left, "CheckBox5", "Show free space on current disk");
    CheckBox6 = check(GroupBox2, left, "CheckBox6", "Show name of current file");
    CheckBox7 = check(GroupBox2, left, "CheckBox7", "Show file size");
    CheckBox8 = check(GroupBox2, left, "CheckBox8", "Show file date");
    CheckBox9 = check(GroupBox2, left, "CheckBox9", "Show current path in caption");
    CheckBox11 = check(GroupBox2, right, "CheckBox11", "Show hidden files");
    CheckBox12 = check(GroupBox2, right, "CheckBox12", "Highlight files");
    CheckBox13 = check(GroupBox2, right, "CheckBox13", "Show scroll bar");
    CheckBox22 = check(GroupBox2, right, "CheckBox22", "Executable files to begin");
    right->addStretch();
    flags->addLayout(left, 0, 0);
    flags->addLayout(right, 0, 1);
    groupBox->addLayout(flags);
    panelsBox->addWidget(GroupBox2);
    panelsBox->addStretch();
    Book->addTab(panels, QStringLiteral("Panels"));

    // --- Interface: shown and kept, switched off as they always were.
    auto* iface = new QWidget(Book);
    auto* ifaceBox = new QVBoxLayout(iface);
    CheckBox19 = check(iface, ifaceBox, "CheckBox19", "Show a panel of tools");
    CheckBox20 = check(iface, ifaceBox, "CheckBox20", "Show command line");
    CheckBox21 = check(iface, ifaceBox, "CheckBox21", "Show hot buttons F2 - F8");
    CheckBox10 = check(iface, ifaceBox, "CheckBox10", "Show background fon");
    CheckBox23 = check(iface, ifaceBox, "CheckBox23", "Synchronisation panels");
    for (QCheckBox* c : {CheckBox19, CheckBox20, CheckBox21, CheckBox10, CheckBox23}) c->setEnabled(false);
    ifaceBox->addStretch();
    Book->addTab(iface, QStringLiteral("Interface"));

    // --- Confirmation
    auto* confirm = new QWidget(Book);
    auto* confirmBox = new QVBoxLayout(confirm);
    CheckBox1 = check(confirm, confirmBox, "CheckBox1", "Confirm on copy file(s)");
    CheckBox2 = check(confirm, confirmBox, "CheckBox2", "Confirm on moving file(s)");
    CheckBox3 = check(confirm, confirmBox, "CheckBox3", "Confirm on  delete");
    CheckBox4 = check(confirm, confirmBox, "CheckBox4", "Confirm on exit from Korvalen");
    for (QCheckBox* c : {CheckBox1, CheckBox2, CheckBox3}) c->setEnabled(false);
    confirmBox->addStretch();
    Book->addTab(confirm, QStringLiteral("Confirmation"));

    auto* buttons = new QHBoxLayout;
    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button3 = new QPushButton(QStringLiteral("&Set Default"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    buttons->addStretch();
    for (QPushButton* b : {Button1, Button2, Button3}) {
        b->setFixedSize(75, 25);
        buttons->addWidget(b);
    }
    auto* box = new QVBoxLayout(this);
    box->addWidget(Book);
    box->addLayout(buttons);
    connect(Button1, &QPushButton::clicked, this, &TFormParam::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TFormParam::Button3Click);

    FormActivate();
    setFixedSize(sizeHint().expandedTo(QSize(400, 0)));
}

void TFormParam::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen()) move(screen->availableGeometry().center() - rect().center());
}

std::vector<TFPanel*> TFormParam::targetPanels() const {
    if (form_.cfg().Main.Sync_Panels) return {form_.RightPanel, form_.LeftPanel};
    return {form_.activePanel()};
}

void TFormParam::FormActivate() {
    const KvConfig& cfg = form_.cfg();
    GroupBox2->setTitle(QString::fromStdString(PanelsHeading(cfg)));
    // With synchronisation the left panel's values show.
    const TFPanel* shown = cfg.Main.Sync_Panels ? form_.LeftPanel : form_.activePanel();
    setValues(ReadParamValues(cfg, *shown));
}

void TFormParam::setValues(const ParamValues& v) {
    Edit4->setValue(v.splitter);
    CheckBox18->setChecked(v.sysTrayIcon);
    CheckBox16->setChecked(v.delToRecycle);
    CheckBox14->setChecked(v.onTop);
    Lang2->setChecked(v.english);
    Lang1->setChecked(!v.english);
    Edit1->setValue(v.columns);
    Edit1->setEnabled(v.columnsEnabled);
    Edit2->setValue(v.length);
    Edit3->setValue(v.scrollHeight);
    CheckBox5->setChecked(v.showFreeDisk);
    CheckBox6->setChecked(v.showFileName);
    CheckBox7->setChecked(v.showFileSize);
    CheckBox8->setChecked(v.showFileDate);
    CheckBox9->setChecked(v.showCurDir);
    CheckBox11->setChecked(v.showFileHide);
    CheckBox12->setChecked(v.showFileColors);
    CheckBox13->setChecked(v.showScrollBar);
    CheckBox22->setChecked(v.execBegin);
    CheckBox19->setChecked(v.interface.Show_ToolBar);
    CheckBox20->setChecked(v.interface.Show_ComLine);
    CheckBox21->setChecked(v.interface.Show_HotButtons);
    CheckBox10->setChecked(v.interface.Show_BackgroundFon);
    CheckBox23->setChecked(v.syncPanels);
    CheckBox1->setChecked(v.confirm.Copy);
    CheckBox2->setChecked(v.confirm.Move);
    CheckBox3->setChecked(v.confirm.Delete);
    CheckBox4->setChecked(v.confirm.Exit);
}

ParamValues TFormParam::values() const {
    ParamValues v;
    v.splitter = Edit4->value();
    v.sysTrayIcon = CheckBox18->isChecked();
    v.delToRecycle = CheckBox16->isChecked();
    v.onTop = CheckBox14->isChecked();
    v.english = Lang2->isChecked();
    v.columnsEnabled = Edit1->isEnabled();
    v.columns = Edit1->value();
    v.length = Edit2->value();
    v.scrollHeight = Edit3->value();
    v.showFreeDisk = CheckBox5->isChecked();
    v.showFileName = CheckBox6->isChecked();
    v.showFileSize = CheckBox7->isChecked();
    v.showFileDate = CheckBox8->isChecked();
    v.showCurDir = CheckBox9->isChecked();
    v.showFileHide = CheckBox11->isChecked();
    v.showFileColors = CheckBox12->isChecked();
    v.showScrollBar = CheckBox13->isChecked();
    v.execBegin = CheckBox22->isChecked();
    v.interface.Show_ToolBar = CheckBox19->isChecked();
    v.interface.Show_ComLine = CheckBox20->isChecked();
    v.interface.Show_HotButtons = CheckBox21->isChecked();
    v.interface.Show_BackgroundFon = CheckBox10->isChecked();
    v.syncPanels = CheckBox23->isChecked();
    v.confirm.Copy = CheckBox1->isChecked();
    v.confirm.Move = CheckBox2->isChecked();
    v.confirm.Delete = CheckBox3->isChecked();
    v.confirm.Exit = CheckBox4->isChecked();
    return v;
}

void TFormParam::Button1Click() {
    KvConfig& cfg = form_.cfg();
    const std::vector<TFPanel*> targets = targetPanels();
    const ParamApplied applied =
        ApplyParamValues(values(), cfg, std::vector<TFPanelModel*>(targets.begin(), targets.end()));
    if (applied.languageChanged)
        QMessageBox::information(this, QStringLiteral("Information"),
                                 QStringLiteral("You have replaced language of appendix. The changes will "
                                                "come into force at the following start Korvalen"));

    // The window at once: stay-on-top (changing the flag hides a shown window), the tray icon
    // and the gap between the panels.
    if (form_.windowFlags().testFlag(Qt::WindowStaysOnTopHint) != cfg.Main.OnTop) {
        const bool shown = form_.isVisible();
        form_.setWindowFlag(Qt::WindowStaysOnTopHint, cfg.Main.OnTop);
        if (shown) form_.show();
    }
    if (form_.RxTrayIcon1)
        form_.RxTrayIcon1->setVisible(cfg.Main.SysTrayIcon && QSystemTrayIcon::isSystemTrayAvailable());
    cfg.FilesPanel.Panel_Width = form_.outerWidth() / 2 - cfg.Main.Main_Splitter;
    // Row height, header and status heights and the scroll strip follow Length and the flags.
    for (TFPanel* p : targets) p->ApplyFont();
    form_.FormResize();
    for (TFPanel* p : {form_.LeftPanel, form_.RightPanel}) {
        p->ReadDir();
        p->DrawList();
        if (p->Active) p->DrawCursor();
        p->update();
    }
    accept();
}

void TFormParam::Button3Click() {
    form_.runCommand("config.reset");
    FormActivate();
}

}  // namespace kv
