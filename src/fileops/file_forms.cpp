#include "fileops/file_forms.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QSignalBlocker>
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

#include "fileops/file_command_support.h"
#include "fileops/fileops_context.h"
#include "fileops/question_dialogs.h"
#include "panel/fpanel.h"

namespace kv {

namespace {

using fileops_ui::q;
using fileops_ui::qName;

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
    // The target is what the user most often changes: typing replaces the proposed folder.
    Edit2->selectAll();
    Edit2->setFocus();
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
                                 : QStringLiteral("<%1>").arg(qName(ctx.active->CurFile)));
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
                                 : QStringLiteral("Rename/Move <%1> to").arg(qName(ctx.active->CurPath)));
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

    auto* more = new QGridLayout;
    Octal = new QLineEdit(this);
    Octal->setObjectName(QStringLiteral("Octal"));
    Octal->setMaxLength(4);
    Octal->setPlaceholderText(QStringLiteral("mixed"));
    Owner = new QComboBox(this);
    Owner->setObjectName(QStringLiteral("Owner"));
    Group = new QComboBox(this);
    Group->setObjectName(QStringLiteral("Group"));
    for (QComboBox* c : {Owner, Group}) {
        c->setEditable(true);
        c->setInsertPolicy(QComboBox::NoInsert);
    }
    ModTime = new QDateTimeEdit(this);
    ModTime->setObjectName(QStringLiteral("ModTime"));
    ModTime->setDisplayFormat(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    more->addWidget(new QLabel(QStringLiteral("Mode (octal):"), this), 0, 0);
    more->addWidget(Octal, 0, 1);
    more->addWidget(new QLabel(QStringLiteral("Owner:"), this), 1, 0);
    more->addWidget(Owner, 1, 1);
    more->addWidget(new QLabel(QStringLiteral("Group:"), this), 2, 0);
    more->addWidget(Group, 2, 1);
    more->addWidget(new QLabel(QStringLiteral("Modified:"), this), 3, 0);
    more->addWidget(ModTime, 3, 1);
    v->addLayout(more);

    // Read-only is the write bits: the boxes follow each other.
    connect(ReadOnly, &QCheckBox::clicked, this, [this] {
        const Qt::CheckState s = ReadOnly->checkState();
        if (s == Qt::Checked)
            for (int i : {1, 4, 7}) Permission[i]->setCheckState(Qt::Unchecked);
        else if (s == Qt::Unchecked)
            Permission[1]->setCheckState(Qt::Checked);
    });
    for (int i = 0; i < 9; ++i)
        connect(Permission[i], &QCheckBox::stateChanged, this, [this, i] {
            if (i == 1) {
                const Qt::CheckState w = Permission[1]->checkState();
                ReadOnly->setCheckState(w == Qt::PartiallyChecked ? Qt::PartiallyChecked
                                        : w == Qt::Checked        ? Qt::Unchecked
                                                                  : Qt::Checked);
            }
            showOctal();
        });
    connect(Octal, &QLineEdit::textEdited, this, &TFormAttrib::octalEdited);

    OKBtn = button(this, "OKBtn", "OK");
    CancelBtn = button(this, "CancelBtn", "Cancel");
    v->addLayout(okCancelRow(this, OKBtn, CancelBtn));
    centreOnScreen(this);
}

namespace {
QString userName(uid_t uid) {
    if (const passwd* pw = ::getpwuid(uid)) return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(uid);
}
QString groupName(gid_t gid) {
    if (const group* gr = ::getgrgid(gid)) return QString::fromLocal8Bit(gr->gr_name);
    return QString::number(gid);
}
// A name, or a number, to an id.
std::optional<uid_t> userId(const QString& text) {
    bool number = false;
    const uint n = text.toUInt(&number);
    if (number) return static_cast<uid_t>(n);
    if (const passwd* pw = ::getpwnam(text.toLocal8Bit().constData())) return pw->pw_uid;
    return std::nullopt;
}
std::optional<gid_t> groupId(const QString& text) {
    bool number = false;
    const uint n = text.toUInt(&number);
    if (number) return static_cast<gid_t>(n);
    if (const group* gr = ::getgrnam(text.toLocal8Bit().constData())) return gr->gr_gid;
    return std::nullopt;
}
}  // namespace

bool TFormAttrib::activate(const FileOpsContext& ctx, const std::vector<std::string>& paths,
                           std::vector<fileops::Failure>& unreadable) {
    shared_ = fileops::sharedAttributes(paths, unreadable);
    if (shared_.readable == 0) return false;
    const TFPanel* p = ctx.active;
    const bool one = paths.size() == 1;
    FileDirName->setText(one ? qName(paths.front()) : QStringLiteral("%1 entries").arg(paths.size()));
    FilePathName->setText(qName(p->CurDir));
    ChangeDate->setText(shared_.modified ? shortDateTime(shared_.modified->tv_sec) : QString());
    auto show = [](QCheckBox* box, bool all, bool any) {
        box->setTristate(all != any);
        box->setCheckState(all ? Qt::Checked : any ? Qt::PartiallyChecked : Qt::Unchecked);
    };
    for (int i = 0; i < 9; ++i) {
        const unsigned bit = 0400u >> i;
        show(Permission[i], shared_.allSet & bit, shared_.anySet & bit);
    }
    show(ReadOnly, !(shared_.anySet & S_IWUSR), !(shared_.allSet & S_IWUSR));
    // What Linux decides by itself, shown for the entry under the cursor.
    struct stat st {};
    const bool cursorRead = ::lstat(p->CurPath.c_str(), &st) == 0;
    Hidden->setChecked(!p->CurFile.empty() && p->CurFile[0] == '.');
    System->setChecked(cursorRead && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode));
    Archive->setChecked(cursorRead && S_ISREG(st.st_mode));
    showOctal();
    octalTyped_ = false;

    // The owner changes only for the superuser; the group where the user owns every entry.
    const bool super = ::geteuid() == 0;
    Owner->clear();
    Group->clear();
    if (super) {
        ::setpwent();
        while (const passwd* pw = ::getpwent()) Owner->addItem(QString::fromLocal8Bit(pw->pw_name));
        ::endpwent();
        ::setgrent();
        while (const group* gr = ::getgrent()) Group->addItem(QString::fromLocal8Bit(gr->gr_name));
        ::endgrent();
    } else {
        std::vector<gid_t> groups(static_cast<std::size_t>(std::max(0, ::getgroups(0, nullptr))));
        const int n = ::getgroups(static_cast<int>(groups.size()), groups.data());
        groups.resize(static_cast<std::size_t>(std::max(0, n)));
        groups.push_back(::getegid());
        for (gid_t g : groups)
            if (Group->findText(groupName(g)) < 0) Group->addItem(groupName(g));
    }
    ownerShown_ = shared_.owner ? userName(*shared_.owner) : QString();
    groupShown_ = shared_.group ? groupName(*shared_.group) : QString();
    Owner->setEditText(ownerShown_);
    Group->setEditText(groupShown_);
    Owner->setEnabled(super);
    Group->setEnabled(super || (shared_.owner && *shared_.owner == ::geteuid()));
    const timespec t = shared_.modified ? *shared_.modified : shared_.firstModified;
    timeShown_ = QDateTime::fromSecsSinceEpoch(t.tv_sec);
    ModTime->setDateTime(timeShown_);
    OKBtn->setFocus();
    return true;
}

void TFormAttrib::showOctal() {
    unsigned mode = shared_.allSet & 07000u;
    for (int i = 0; i < 9; ++i) {
        const Qt::CheckState s = Permission[i]->checkState();
        if (s == Qt::PartiallyChecked || (shared_.allSet & 07000u) != (shared_.anySet & 07000u)) {
            Octal->clear();
            return;
        }
        if (s == Qt::Checked) mode |= 0400u >> i;
    }
    Octal->setText(QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0')));
}

void TFormAttrib::octalEdited(const QString& text) {
    const auto mode = fileops::parseOctalMode(text.toStdString());
    octalTyped_ = mode.has_value();
    if (!mode) return;
    for (int i = 0; i < 9; ++i) {
        const QSignalBlocker quiet(Permission[i]);
        Permission[i]->setCheckState((*mode & (0400u >> i)) ? Qt::Checked : Qt::Unchecked);
    }
    ReadOnly->setCheckState((*mode & S_IWUSR) ? Qt::Unchecked : Qt::Checked);
}

fileops::AttributeChange TFormAttrib::chosenChange(std::string& error) const {
    fileops::AttributeChange c;
    const auto typed = fileops::parseOctalMode(Octal->text().toStdString());
    if (octalTyped_ && typed) {
        // Typed in full: every bit is decided, the special ones too.
        c.setBits = *typed;
        c.clearBits = ~*typed & 07777u;
    } else {
        for (int i = 0; i < 9; ++i) {
            const unsigned bit = 0400u >> i;
            const Qt::CheckState s = Permission[i]->checkState();
            if (s == Qt::Checked && (shared_.allSet & bit) == 0) c.setBits |= bit;
            if (s == Qt::Unchecked && (shared_.anySet & bit) != 0) c.clearBits |= bit;
        }
    }
    const QString owner = Owner->currentText().trimmed(), group = Group->currentText().trimmed();
    if (Owner->isEnabled() && !owner.isEmpty() && owner != ownerShown_) {
        c.owner = userId(owner);
        if (!c.owner) error = "No such user: " + owner.toStdString();
    }
    if (Group->isEnabled() && !group.isEmpty() && group != groupShown_) {
        c.group = groupId(group);
        if (!c.group) error = "No such group: " + group.toStdString();
    }
    if (ModTime->dateTime() != timeShown_) c.modified = timespec{ModTime->dateTime().toSecsSinceEpoch(), 0};
    return c;
}

}  // namespace kv
