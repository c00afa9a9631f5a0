#include "fileops/file_forms.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "fileops/fileops_context.h"
#include "fileops/question_dialogs.h"
#include "panel/fpanel.h"

namespace kv {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

void fixedDialog(QDialog* d, const char* name, const char* caption) {
    d->setObjectName(QString::fromLatin1(name));
    d->setWindowTitle(QString::fromLatin1(caption));
    d->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    d->setModal(true);
}

QPushButton* button(QWidget* parent, const char* name, const char* text) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// OK and Cancel on a row at the bottom right; OK is the default, Cancel rejects.
QHBoxLayout* okCancelRow(QDialog* d, QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, d, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, d, &QDialog::reject);
    return row;
}

QComboBox* editableBox(QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QStringLiteral("Edit1"));
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setMinimumWidth(320);
    return c;
}

void centreOnScreen(QDialog* d) {
    d->adjustSize();
    d->setFixedSize(d->sizeHint());
}

}  // namespace

// --- copy --------------------------------------------------------------------------------

TFormCopy::TFormCopy(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormCopy", "Copy");
    auto* v = new QVBoxLayout(this);
    GB1 = new QGroupBox(this);
    GB1->setObjectName(QStringLiteral("GB1"));
    auto* g = new QGridLayout(GB1);
    Label1 = new QLabel(QStringLiteral("From:"), GB1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(GB1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(340);
    Label4 = new QLabel(QStringLiteral("to:"), GB1);
    Label4->setObjectName(QStringLiteral("Label4"));
    Edit2 = new QLineEdit(QStringLiteral("/"), GB1);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    CheckBox1 = new QCheckBox(QStringLiteral("Check free space"), GB1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox2 = new QCheckBox(QStringLiteral("System function copy"), GB1);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    for (QCheckBox* c : {CheckBox1, CheckBox2}) {
        c->setChecked(true);
        c->setEnabled(false);
    }
    g->addWidget(Label1, 0, 0);
    g->addWidget(Edit1, 1, 0, 1, 2);
    g->addWidget(Label4, 2, 0);
    g->addWidget(Edit2, 3, 0, 1, 2);
    g->addWidget(CheckBox1, 4, 0);
    g->addWidget(CheckBox2, 4, 1);
    v->addWidget(GB1);

    GB2 = new QGroupBox(this);
    GB2->setObjectName(QStringLiteral("GB2"));
    auto* p = new QVBoxLayout(GB2);
    Label2 = new QLabel(GB2);
    Label3 = new QLabel(GB2);
    Progress1 = new QProgressBar(GB2);
    Progress2 = new QProgressBar(GB2);
    for (QProgressBar* b : {Progress1, Progress2}) b->setRange(0, 100);
    p->addWidget(Label2);
    p->addWidget(Progress1);
    p->addWidget(Label3);
    p->addWidget(Progress2);
    GB2->hide();
    v->addWidget(GB2);

    Button1 = button(this, "Button1", "&OK");
    Button2 = button(this, "Button2", "&Cancel");
    v->addLayout(okCancelRow(this, Button1, Button2));
    centreOnScreen(this);
}

void TFormCopy::activate(const FileOpsContext& ctx) {
    setWindowTitle(q(ctx.tr("Copy", "Caption", "Copy")));
    Button1->setText(q(ctx.tr("Copy", "Button_OK", "&OK")));
    Button2->setText(q(ctx.tr("Copy", "Button_Cancel", "&Cancel")));
    Label1->setText(q(ctx.tr("Copy", "Label_From", "From:")));
    Label4->setText(q(ctx.tr("Copy", "Label_To", "to:")));
    CheckBox1->setText(q(ctx.tr("Copy", "CheckBox_CheckFreeSpace", "Check free space")));
    CheckBox2->setText(q(ctx.tr("Copy", "CheckBox_SystemCopyFunction", "System function copy")));
    GB2->hide();
    GB1->show();
    Progress1->setValue(0);
    Progress2->setValue(0);
    Label2->clear();
    Label3->setText(QStringLiteral("Scanning files..."));
    Edit1->setEnabled(true);
    Edit2->setEnabled(true);
    const int selected = ctx.active->FL.SelectedCount;
    if (selected > 0) {
        Edit1->setText(QStringLiteral("Copy %1 file(s)").arg(selected));
        Edit1->setEnabled(false);
    } else {
        Edit1->setText(q(ctx.active->CurPath));
    }
    Edit2->setText(q(ctx.passive->CurDir));
    Button1->setFocus();
}

// --- delete ------------------------------------------------------------------------------

TFormDelete::TFormDelete(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormDelete", "Delete");
    auto* v = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(QStringLiteral(" Delete file(s) "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setMinimumSize(300, 80);
    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    for (QLabel* l : {Label1, Label2}) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 0, 128));  // navy
        l->setPalette(pal);
    }
    v->addWidget(GroupBox1);
    Button1 = button(this, "Button1", "OK");
    Button2 = button(this, "Button2", "Cancel");
    v->addLayout(okCancelRow(this, Button1, Button2));
    setFixedSize(340, 150);
}

void TFormDelete::activate(const FileOpsContext& ctx) {
    setWindowTitle(q(ctx.tr("Delete", "Caption", "Delete")));
    GroupBox1->setTitle(q(ctx.tr("Delete", "GroupBoxCaption", " Delete file(s) ")));
    Button1->setText(q(ctx.tr("Delete", "Button_OK", "OK")));
    Button2->setText(q(ctx.tr("Delete", "Button_Cancel", "Cancel")));
    const bool folder = ctx.active->CurIsDir != 0;
    if (ctx.english)
        Label1->setText(folder ? QStringLiteral("Do you wish to delete the folder")
                               : QStringLiteral("Do you wish to delete the file"));
    else
        Label1->setText(
            q(ctx.tr("Delete", "Label_Quest", "") + " " + ctx.tr("Delete", folder ? "Folder" : "File", "")));
    const int selected = ctx.active->FL.SelectedCount;
    Label2->setText(selected > 0 ? QStringLiteral("%1 file(s)").arg(selected)
                                 : QStringLiteral("<%1>").arg(q(ctx.active->CurFile)));
    Button1->setFocus();
}

void TFormDelete::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Centred: left = (dialog width - label width) div 2 - 10, in the group box's frame.
    int y = 24;
    for (QLabel* l : {Label1, Label2}) {
        l->adjustSize();
        l->move((width() - l->width()) / 2 - 10, y);
        y += l->height() + 8;
    }
}

// --- rename/move -------------------------------------------------------------------------

TFormRenMove::TFormRenMove(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormRenMove", "Rename/Move");
    auto* v = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* g = new QVBoxLayout(GroupBox1);
    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = editableBox(GroupBox1);
    g->addWidget(Label1);
    g->addWidget(Edit1);
    v->addWidget(GroupBox1);
    Button1 = button(this, "Button1", "&OK");
    Button2 = button(this, "Button2", "&Cancel");
    v->addLayout(okCancelRow(this, Button1, Button2));
    centreOnScreen(this);
}

void TFormRenMove::activate(const FileOpsContext& ctx, bool inPlace) {
    const int selected = ctx.active->FL.SelectedCount;
    Label1->setText(selected > 0 ? QStringLiteral("Rename/Move %1 file(s) to").arg(selected)
                                 : QStringLiteral("Rename/Move <%1> to").arg(q(ctx.active->CurPath)));
    // A relative target is taken from the active panel's folder, so the entry's own name
    // renames it where it is.
    Edit1->setEditText(inPlace ? q(ctx.active->CurFile) : q(ctx.passive->CurDir));
    Edit1->lineEdit()->selectAll();
    Edit1->setFocus();
}

// --- make folder, make file ------------------------------------------------------------

TFormNewDir::TFormNewDir(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormNewDir", "Make folder");
    auto* v = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(QStringLiteral(" Create the folder with name: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* g = new QVBoxLayout(GroupBox1);
    Edit1 = editableBox(GroupBox1);
    g->addWidget(Edit1);
    v->addWidget(GroupBox1);
    Button1 = button(this, "Button1", "&OK");
    Button2 = button(this, "Button2", "&Cancel");
    v->addLayout(okCancelRow(this, Button1, Button2));
    centreOnScreen(this);
}

void TFormNewDir::activate(const FileOpsContext& ctx) {
    setWindowTitle(q(ctx.tr("MkDir", "Caption", "Make folder")));
    GroupBox1->setTitle(q(ctx.tr("MkDir", "GroupBoxCaption", " Create the folder with name: ")));
    Button1->setText(q(ctx.tr("MkDir", "Button_OK", "&OK")));
    Button2->setText(q(ctx.tr("MkDir", "Button_Cancel", "&Cancel")));
    Edit1->setEditText(QString());
    Edit1->setFocus();
}

void TFormNewDir::accept() {
    if (Edit1->currentText().isEmpty()) return;
    QDialog::accept();
}

TFormNewFile::TFormNewFile(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormNewFile", "Make new file");
    auto* v = new QVBoxLayout(this);
    GroupBox1 = new QGroupBox(QStringLiteral(" Create the file with name: "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* g = new QVBoxLayout(GroupBox1);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(320);
    g->addWidget(Edit1);
    v->addWidget(GroupBox1);
    Button1 = button(this, "Button1", "&OK");
    Button2 = button(this, "Button2", "&Cancel");
    v->addLayout(okCancelRow(this, Button1, Button2));
    centreOnScreen(this);
}

void TFormNewFile::activate(const FileOpsContext& ctx) {
    setWindowTitle(q(ctx.tr("MkFile", "Caption", "Make new file")));
    GroupBox1->setTitle(q(ctx.tr("MkFile", "GroupBoxCaption", " Create the file with name: ")));
    Button1->setText(q(ctx.tr("MkFile", "Button_OK", "&OK")));
    Button2->setText(q(ctx.tr("MkFile", "Button_Cancel", "&Cancel")));
    Edit1->clear();
    Edit1->setFocus();
}

// --- attributes --------------------------------------------------------------------------

TFormAttrib::TFormAttrib(QWidget* parent) : QDialog(parent) {
    fixedDialog(this, "TFormAttrib", "File attributes");
    auto* v = new QVBoxLayout(this);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* info = new QVBoxLayout(Bevel1);
    FileDirName = new QLabel(Bevel1);
    FileDirName->setObjectName(QStringLiteral("FileDirName"));
    FilePathName = new QLabel(Bevel1);
    FilePathName->setObjectName(QStringLiteral("FilePathName"));
    ChangeDate = new QLabel(Bevel1);
    ChangeDate->setObjectName(QStringLiteral("ChangeDate"));
    for (QLabel* l : {FileDirName, FilePathName, ChangeDate}) info->addWidget(l);
    v->addWidget(Bevel1);

    auto* boxes = new QHBoxLayout;
    AttributesBox = new QGroupBox(QStringLiteral(" Attributes "), this);
    auto* a = new QVBoxLayout(AttributesBox);
    auto check = [](QWidget* parent, const char* name, const char* text) {
        auto* c = new QCheckBox(QString::fromLatin1(text), parent);
        c->setObjectName(QString::fromLatin1(name));
        return c;
    };
    ReadOnly = check(AttributesBox, "ReadOnly", "&Read Only");
    Archive = check(AttributesBox, "Archive", "&Archive");
    System = check(AttributesBox, "System", "&System");
    Hidden = check(AttributesBox, "Hidden", "&Hidden");
    for (QCheckBox* c : {ReadOnly, Archive, System, Hidden}) a->addWidget(c);
    // What Linux decides by itself: a dot name is hidden, a regular file "archive".
    for (QCheckBox* c : {Archive, System, Hidden}) c->setEnabled(false);
    boxes->addWidget(AttributesBox);

    PermissionsBox = new QGroupBox(QStringLiteral(" Permissions "), this);
    PermissionsBox->setObjectName(QStringLiteral("PermissionsBox"));
    auto* grid = new QGridLayout(PermissionsBox);
    const char* who[3] = {"Owner", "Group", "Others"};
    const char* what[3] = {"read", "write", "run"};
    for (int c = 0; c < 3; ++c)
        grid->addWidget(new QLabel(QString::fromLatin1(what[c]), PermissionsBox), 0, c + 1);
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(QString::fromLatin1(who[r]), PermissionsBox), r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            auto* box = new QCheckBox(PermissionsBox);
            box->setObjectName(QStringLiteral("Permission%1").arg(r * 3 + c));
            grid->addWidget(box, r + 1, c + 1, Qt::AlignCenter);
            Permission[r * 3 + c] = box;
        }
    }
    boxes->addWidget(PermissionsBox);
    v->addLayout(boxes);

    // Read-only is the write bits: the boxes follow each other.
    connect(ReadOnly, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            for (int i : {1, 4, 7}) Permission[i]->setChecked(false);
        else
            Permission[1]->setChecked(true);
    });
    connect(Permission[1], &QCheckBox::toggled, this, [this](bool on) { ReadOnly->setChecked(!on); });

    OKBtn = button(this, "OKBtn", "OK");
    CancelBtn = button(this, "CancelBtn", "Cancel");
    v->addLayout(okCancelRow(this, OKBtn, CancelBtn));
    centreOnScreen(this);
}

bool TFormAttrib::activate(const FileOpsContext& ctx) {
    const TFPanel* p = ctx.active;
    struct stat st {};
    if (::stat(p->CurPath.c_str(), &st) != 0 && ::lstat(p->CurPath.c_str(), &st) != 0) return false;
    oldMode = st.st_mode;
    FileDirName->setText(q(p->CurPath));
    FilePathName->setText(q(p->CurDir));
    ChangeDate->setText(shortDateTime(st.st_mtim.tv_sec));
    for (int i = 0; i < 9; ++i) Permission[i]->setChecked(st.st_mode & (0400u >> i));
    ReadOnly->setChecked(!(st.st_mode & S_IWUSR));
    Hidden->setChecked(!p->CurFile.empty() && p->CurFile[0] == '.');
    System->setChecked(!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode));
    Archive->setChecked(S_ISREG(st.st_mode));
    OKBtn->setFocus();
    return true;
}

unsigned TFormAttrib::chosenPermissions() const {
    unsigned bits = 0;
    for (int i = 0; i < 9; ++i)
        if (Permission[i]->isChecked()) bits |= 0400u >> i;
    return bits;
}

}  // namespace kv
