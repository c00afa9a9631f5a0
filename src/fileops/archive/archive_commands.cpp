#include "fileops/archive/archive_commands.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QVariant>
#include <QWidget>

#include <string>
#include <vector>

#include "fileops/archive/archive_forms.h"
#include "fileops/archive/archive_jobs.h"
#include "archive/kelmo/kelmo.h"
#include "fileops/file_command_support.h"
#include "fileops/file_job.h"
#include "panel/fpanel.h"

namespace kv::fileops_ui {

namespace {

// The password of the last extraction, kept by the main window for its whole run: quick
// extraction reuses it, so an archive opened once through the dialog unpacks again with
// Shift+Enter.
constexpr const char* kPasswordProperty = "kvArchivePassword";

std::string lastPassword(const FileOpsContext& ctx) {
    return ctx.owner ? ctx.owner->property(kPasswordProperty).toString().toStdString() : std::string();
}

void rememberPassword(const FileOpsContext& ctx, const std::string& pw) {
    if (ctx.owner) ctx.owner->setProperty(kPasswordProperty, QString::fromStdString(pw));
}

std::string withoutTrailingSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string trimmed(const QString& text) { return text.trimmed().toStdString(); }

// The archive under the cursor: a file (or a link to one), never "..", never a folder.
bool archiveUnderCursor(TFPanel* p, std::string& path) {
    p->publishCurrent();
    const int i = p->cursorIndex();
    if (!p->FL.valid(i) || p->FL.entry(i).isParent()) return false;
    path = p->CurPath;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Whether any entry of the archive is encrypted; the directory alone tells, nothing is
// decoded.
bool hasEncryptedEntries(const std::string& archive) {
    TKelmo list;
    list.setArchiveFile(archive);
    bool encrypted = false;
    list.OnRead = [&encrypted](TZipCommon& k, int64_t, int) { encrypted = encrypted || k.Encrypted; };
    list.Activate();
    return encrypted;
}

// An encrypted archive and no password yet: asked once, before the job starts, so the
// question never competes with the progress window. False: the user gave up.
bool passwordReady(const FileOpsContext& ctx, fileops::ExtractJob& job) {
    if (!job.password.empty() || !hasEncryptedEntries(job.archive)) return true;
    QInputDialog ask(ctx.owner);
    ask.setObjectName(QStringLiteral("ArchivePassword"));
    ask.setWindowTitle(QStringLiteral("Archive password"));
    ask.setLabelText(QStringLiteral("The archive is encrypted. Password:"));
    ask.setTextEchoMode(QLineEdit::Password);
    if (ask.exec() != QDialog::Accepted) return false;
    job.password = ask.textValue().toStdString();
    rememberPassword(ctx, job.password);
    return true;
}

void runExtraction(const FileOpsContext& ctx, fileops::ExtractJob& job) {
    if (!passwordReady(ctx, job)) return;
    const std::vector<std::string> sources = {job.archive};
    const std::string target = job.targetDir;
    runFileJob(ctx, QStringLiteral("Extracting..."), std::make_unique<fileops::ExtractJob>(std::move(job)),
               sources, target);
}

}  // namespace

void QuickExtractCommand(const FileOpsContext& ctx) {
    fileops::ExtractJob job;
    if (!archiveUnderCursor(ctx.active, job.archive)) return;
    job.targetDir = withoutTrailingSlash(ctx.active->CurDir);
    job.password = lastPassword(ctx);
    runExtraction(ctx, job);
}

void ExtractCommand(const FileOpsContext& ctx) {
    fileops::ExtractJob job;
    if (!archiveUnderCursor(ctx.active, job.archive)) return;
    TFormExtract form(ctx.owner);
    form.Edit1->setEditText(QString::fromStdString(withoutTrailingSlash(ctx.passive->CurDir)));
    form.Edit2->setText(QString::fromStdString(lastPassword(ctx)));
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    // A relative folder is taken from the active panel's folder, as the file commands do.
    const std::string target = resolveTypedPath(ctx.active->CurDir, form.Edit1->currentText().toStdString());
    if (target.empty()) return;
    job.targetDir = target;
    job.password = form.Edit2->text().toStdString();
    rememberPassword(ctx, job.password);
    switch (form.Overwrite->currentIndex()) {
        case 1: job.overwrite = fileops::OverwriteMode::All; break;
        case 2: job.overwrite = fileops::OverwriteMode::None; break;
        default: job.overwrite = fileops::OverwriteMode::Ask; break;
    }
    runExtraction(ctx, job);
}

void AddToArchiveCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    p->publishCurrent();
    const std::string dir = withoutTrailingSlash(p->CurDir);
    fileops::AddToZipJob job;
    job.sources = chosenPaths(p);
    if (job.sources.empty()) return;
    const int cursor = p->cursorIndex();
    const bool onEntry = p->FL.valid(cursor) && !p->FL.entry(cursor).isParent();
    // The archive is named after the entry under the cursor, or the folder when on "..".
    std::string stem = onEntry ? p->FL.entry(cursor).FileName : std::string();
    if (stem.empty()) {
        const auto slash = dir.rfind('/');
        stem = slash == std::string::npos || slash + 1 >= dir.size() ? "archive" : dir.substr(slash + 1);
    }
    TFormAdding form(ctx.owner);
    form.ComboBox1->setEditText(QString::fromStdString((dir == "/" ? "" : dir) + "/" + stem + ".zip"));
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    std::string archive = trimmed(form.ComboBox1->currentText());
    if (archive[0] != '/') archive = dir + "/" + archive;
    job.archive = archive;
    job.baseDir = dir;
    job.password = form.Edit1->text().toStdString();
    job.deleteAfter = form.CheckBox1->isChecked();
    const std::vector<std::string> sources = job.sources;
    const std::string target = job.archive;
    runFileJob(ctx, QStringLiteral("Adding files"), std::make_unique<fileops::AddToZipJob>(std::move(job)),
               sources, target);
}

}  // namespace kv::fileops_ui
