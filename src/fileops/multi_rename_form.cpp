#include "fileops/multi_rename_form.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <ctime>
#include <filesystem>
#include <unordered_set>

#include "fileops/engine/paths.h"
#include "fileops/file_command_support.h"
#include "fileops/fileops_context.h"
#include "panel/fpanel.h"

namespace kv {

namespace {

using fileops::joinPath;
using fileops_ui::q;

}  // namespace

TFormMultiRename::TFormMultiRename(const std::string& folder, const std::vector<std::string>& names,
                                   QWidget* parent)
    : QDialog(parent), folder_(folder) {
    setObjectName(QStringLiteral("FormMultiRename"));
    setWindowTitle(QStringLiteral("Multi-rename"));
    for (const std::string& n : names) {
        struct stat st {};
        const std::int64_t mtime = ::lstat(joinPath(folder, n).c_str(), &st) == 0 ? st.st_mtim.tv_sec : 0;
        sources_.push_back({n, mtime});
    }
    readFolder(true);

    auto* form = new QFormLayout;
    NameMask = new QLineEdit(QStringLiteral("[N]"), this);
    ExtMask = new QLineEdit(QStringLiteral("[E]"), this);
    auto* masks = new QHBoxLayout;
    masks->addWidget(NameMask, 3);
    masks->addWidget(new QLabel(QStringLiteral("."), this));
    masks->addWidget(ExtMask, 1);
    form->addRow(QStringLiteral("New name:"), masks);
    auto* hint = new QLabel(QStringLiteral("[N] name, [E] extension, [N2-4] characters 2 to 4, [C] counter, "
                                           "[Y][M][D] date, [h][m][s] time, [[ a \"[\""),
                            this);
    hint->setWordWrap(true);
    hint->setEnabled(false);
    form->addRow(QString(), hint);
    Search = new QLineEdit(this);
    Replace = new QLineEdit(this);
    RegexBox = new QCheckBox(QStringLiteral("Regular expression"), this);
    auto* search = new QHBoxLayout;
    search->addWidget(Search, 1);
    search->addWidget(RegexBox);
    form->addRow(QStringLiteral("Search for:"), search);
    form->addRow(QStringLiteral("Replace with:"), Replace);
    CaseBox = new QComboBox(this);
    CaseBox->addItems({QStringLiteral("As is"), QStringLiteral("UPPER"), QStringLiteral("lower")});
    CounterStart = new QSpinBox(this);
    CounterStart->setRange(-999999, 999999);
    CounterStart->setValue(1);
    CounterStep = new QSpinBox(this);
    CounterStep->setRange(-9999, 9999);
    CounterStep->setValue(1);
    CounterDigits = new QSpinBox(this);
    CounterDigits->setRange(1, 9);
    auto* row = new QHBoxLayout;
    row->addWidget(CaseBox);
    row->addSpacing(16);
    row->addWidget(new QLabel(QStringLiteral("Counter from"), this));
    row->addWidget(CounterStart);
    row->addWidget(new QLabel(QStringLiteral("step"), this));
    row->addWidget(CounterStep);
    row->addWidget(new QLabel(QStringLiteral("digits"), this));
    row->addWidget(CounterDigits);
    row->addStretch(1);
    form->addRow(QStringLiteral("Case:"), row);

    Preview = new QTableWidget(0, 3, this);
    Preview->setHorizontalHeaderLabels(
        {QStringLiteral("Old name"), QStringLiteral("New name"), QStringLiteral("Problem")});
    Preview->verticalHeader()->hide();
    Preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Preview->setSelectionMode(QAbstractItemView::NoSelection);
    Preview->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    Preview->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    Preview->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    Summary = new QLabel(this);

    RenameBtn = new QPushButton(QStringLiteral("Rename"), this);
    RenameBtn->setObjectName(QStringLiteral("RenameBtn"));
    RenameBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Summary, 1);
    buttons->addWidget(RenameBtn);
    buttons->addWidget(CancelBtn);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(Preview, 1);
    top->addLayout(buttons);
    resize(640, 420);

    connect(RenameBtn, &QPushButton::clicked, this, [this] {
        // The folder may have changed since the preview was drawn: look again first.
        readFolder(true);
        refresh();
        if (RenameBtn->isEnabled()) accept();
    });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit* e : {NameMask, ExtMask, Search, Replace})
        connect(e, &QLineEdit::textChanged, this, &TFormMultiRename::refresh);
    connect(RegexBox, &QCheckBox::toggled, this, &TFormMultiRename::refresh);
    connect(CaseBox, &QComboBox::currentIndexChanged, this, &TFormMultiRename::refresh);
    for (QSpinBox* s : {CounterStart, CounterStep, CounterDigits})
        connect(s, &QSpinBox::valueChanged, this, &TFormMultiRename::refresh);
    refresh();
}

fileops::RenameRules TFormMultiRename::rules() const {
    fileops::RenameRules r;
    r.namePattern = NameMask->text().toStdString();
    r.extPattern = ExtMask->text().toStdString();
    r.search = Search->text().toStdString();
    r.replace = Replace->text().toStdString();
    r.regex = RegexBox->isChecked();
    r.letterCase = static_cast<fileops::LetterCase>(CaseBox->currentIndex());
    r.counterStart = CounterStart->value();
    r.counterStep = CounterStep->value();
    r.counterDigits = CounterDigits->value();
    return r;
}

fileops::RenamePreview TFormMultiRename::preview() const {
    return fileops::previewRename(sources_, rules(), folderNames_);
}

void TFormMultiRename::readFolder(bool always) {
    struct stat st {};
    const bool known = ::stat(folder_.c_str(), &st) == 0;
    if (!always && known && !stampRecent_ && st.st_mtim.tv_sec == stampSec_ &&
        st.st_mtim.tv_nsec == stampNsec_)
        return;
    folderNames_ = fileops_ui::FolderNames(folder_);
    stampSec_ = known ? st.st_mtim.tv_sec : -1;
    stampNsec_ = known ? st.st_mtim.tv_nsec : -1;
    // A stamp of the last two seconds may not show a change made in the same tick.
    stampRecent_ = !known || std::time(nullptr) - st.st_mtim.tv_sec < 2;
}

void TFormMultiRename::refresh() {
    readFolder(false);
    const fileops::RenamePreview p = preview();
    Preview->setRowCount(static_cast<int>(p.rows.size()));
    const QColor bad(0xC0, 0x00, 0x00);
    for (int i = 0; i < static_cast<int>(p.rows.size()); ++i) {
        const fileops::RenameRow& r = p.rows[static_cast<std::size_t>(i)];
        const QString cells[] = {q(r.oldName), q(r.newName), q(r.problem)};
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (!r.problem.empty()) item->setForeground(bad);
            Preview->setItem(i, c, item);
        }
    }
    if (!p.error.empty())
        Summary->setText(q(p.error));
    else if (p.problems() > 0)
        Summary->setText(QStringLiteral("%1 name(s) cannot be used").arg(p.problems()));
    else
        Summary->setText(QStringLiteral("%1 of %2 name(s) change").arg(p.changes()).arg(p.rows.size()));
    QPalette pal = Summary->palette();
    pal.setColor(QPalette::WindowText, p.ok() ? palette().color(QPalette::WindowText) : bad);
    Summary->setPalette(pal);
    RenameBtn->setEnabled(p.ok() && p.changes() > 0);
}

namespace fileops_ui {

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        out.push_back(it->path().filename().string());
    return out;
}

fileops::RenameUndo& LastMultiRename() {
    static fileops::RenameUndo undo;
    return undo;
}

namespace {

void errorBox(const FileOpsContext& ctx, const QString& caption, const std::string& text) {
    QMessageBox box(QMessageBox::Critical, caption, q(text), QMessageBox::Ok, ctx.owner);
    box.setObjectName(QStringLiteral("MultiRenameError"));
    box.exec();
}

// Both panels showing `folder` re-read it; in the active one the given names are selected
// (or, with `cursorOnly`, the cursor goes onto the first of them).
void reread(const FileOpsContext& ctx, const std::string& folder, const std::vector<std::string>& names,
            bool cursorOnly) {
    for (TFPanel* p : {ctx.passive, ctx.active}) {
        if (TFPanelModel::normalizeDir(p->CurDir) != TFPanelModel::normalizeDir(folder) || p->InArchive())
            continue;
        if (p != ctx.active) {
            p->DirChanged();
            continue;
        }
        p->RefreshDirNow();
        if (!cursorOnly)
            for (const std::string& n : names)
                if (const int i = p->FL.findByName(n)) p->FL.setSelected(i, true);
        if (!names.empty()) p->PlaceCursorOn(names.front());
        p->DrawStatus("All");
    }
}

}  // namespace

void MultiRenameCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    const QString caption = QStringLiteral("Multi-rename");
    if (p->InArchive()) {
        QMessageBox::information(ctx.owner, caption,
                                 QStringLiteral("Multi-rename does not work inside archives."));
        return;
    }
    p->publishCurrent();
    std::vector<std::string> names;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) {
        const TDirEntry& e = p->FL.entry(i);
        if (e.Selected && !e.isParent()) names.push_back(e.FileName);
    }
    const bool cursorOnly = names.empty();
    if (cursorOnly) {
        const int i = p->cursorIndex();
        if (!p->FL.valid(i) || p->FL.entry(i).isParent()) return;
        names.push_back(p->FL.entry(i).FileName);
    }
    const std::string folder = p->CurDir;
    TFormMultiRename form(folder, names, ctx.owner);
    if (form.exec() != QDialog::Accepted) return;
    const fileops::RenamePreview plan = form.preview();
    if (!plan.ok()) return;  // the dialog refused it already
    const auto pairs = plan.pairs();
    const fileops::RenameOutcome out = fileops::renameAll(folder, pairs);
    std::vector<std::string> shown;
    for (const fileops::RenameRow& r : plan.rows) shown.push_back(out.ok ? r.newName : r.oldName);
    if (out.ok) LastMultiRename().record(folder, pairs);
    reread(ctx, folder, shown, cursorOnly);
    if (!out.ok) errorBox(ctx, caption, out.error);
}

void UndoMultiRenameCommand(const FileOpsContext& ctx) {
    const QString caption = QStringLiteral("Undo last multi-rename");
    fileops::RenameUndo& undo = LastMultiRename();
    if (!undo.available()) {
        QMessageBox::information(ctx.owner, caption, QStringLiteral("There is no multi-rename to undo."));
        return;
    }
    const std::string folder = undo.folder();
    // The names it gives back are selected again, as the renamed ones were.
    std::vector<std::string> restored;
    for (const auto& [oldName, newName] : undo.pairs()) restored.push_back(oldName);
    const fileops::RenameOutcome out = undo.undo();
    if (!out.ok) restored.clear();
    reread(ctx, folder, restored, false);
    if (!out.ok) errorBox(ctx, caption, out.error);
}

}  // namespace fileops_ui

}  // namespace kv
