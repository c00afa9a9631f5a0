#include "fileops/archive/archive_panel_commands.h"

#include <sys/stat.h>

#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/base/extractor_factory.h"
#include "archive/kelmo/kelmo.h"
#include "fileops/archive/archive_jobs.h"
#include "fileops/archive/entry_copies.h"
#include "fileops/file_command_support.h"
#include "fileops/file_forms.h"
#include "fileops/file_job.h"
#include "fileops/job_queue.h"
#include "panel/fpanel.h"
#include "panel/model/archive_folder.h"

namespace kv::fileops_ui {

namespace {

QString q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// One box that says why the command does nothing here.
void notPossible(const FileOpsContext& ctx, const QString& what, const QString& why) {
    QMessageBox::warning(ctx.owner, QStringLiteral("Archive"),
                         QStringLiteral("%1 is not possible in this archive.\n%2").arg(what, why));
}

QString typeName(const TArchiveFolders::Level& l) { return q(trimmedTypeName(l.type)); }

// The job goes through the program's queue like every file job (the progress window, the
// Background button, the jobs window); `after` runs on the GUI thread once it has ended,
// before the summary of what failed.
void runArchiveJob(const FileOpsContext& ctx, const QString& caption, std::unique_ptr<fileops::Job> job,
                   const std::string& source, const std::string& target, std::function<void()> after) {
    JobQueue::Request r;
    r.caption = caption;
    r.detail =
        q(source) + (target.empty() || target == source ? QString() : QStringLiteral(" to ") + q(target));
    r.job = std::move(job);
    r.paths = {source};
    if (!target.empty() && target != source) r.paths.push_back(target);
    r.owner = ctx.owner;
    QPointer<QWidget> owner(ctx.owner);
    r.ended = [after = std::move(after), owner, caption](const fileops::JobResult& result) {
        if (after) after();
        showJobSummary(owner, caption, result);
    };
    auto& queue = JobQueue::instance();
    queue.waitInForeground(queue.submit(std::move(r)));
}

// After a job changed an archive: the panel lists it again, if it still shows it.
void reloadIfShown(const QPointer<TFPanel>& p, const std::string& archive) {
    if (!p || !p->InArchive() || p->Archive().innermost()->file != archive) return;
    p->ReloadArchive();
    p->update();
}

// The archive a command may write: a ZIP on disk, not one inside another archive (its copy
// is a temporary file, and the outer archive would not change). Empty reason: writable.
QString whyNotWritable(const TFPanel* p) {
    const TArchiveFolders::Level* l = p->Archive().innermost();
    if (!l) return QStringLiteral("The panel does not show an archive.");
    if (l->type != atZIP)
        return QStringLiteral("%1 archives can be listed and extracted here, but not changed.")
            .arg(typeName(*l));
    if (p->Archive().depth() > 1)
        return QStringLiteral(
            "An archive inside another archive can be listed and extracted, but not changed.");
    return {};
}

// The names the command works on in the panel's folder: the selection, else the entry under
// the cursor; never "..". The names come from the panel's own listing of the archive's tree,
// which holds no name with a "/" or a ".." in it.
std::set<std::string> chosenNames(TFPanel* p) {
    p->publishCurrent();
    std::set<std::string> out;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) {
        const TDirEntry& e = p->FL.entry(i);
        if (e.Selected && !e.isParent()) out.insert(e.FileName);
    }
    if (out.empty()) {
        const int i = p->cursorIndex();
        if (p->FL.valid(i) && !p->FL.entry(i).isParent()) out.insert(p->FL.entry(i).FileName);
    }
    return out;
}

std::string innerPathOf(const TFPanel* p, const std::string& name) {
    const std::string base = p->ArchiveInner();
    return base.empty() ? name : base + "/" + name;
}

// Whether any chosen entry is encrypted; the directory alone tells, nothing is decoded.
bool chosenEncrypted(const std::string& archive, const std::string& base,
                     const std::set<std::string>& names) {
    TKelmo list;
    list.setArchiveFile(archive);
    bool encrypted = false;
    list.OnRead = [&](TZipCommon& k, int64_t, int) {
        std::string rel;
        if (k.Encrypted && fileops::chosenEntryPath(k.FileName, base, names, rel)) encrypted = true;
    };
    list.Activate();
    return encrypted;
}

// The password for encrypted entries, asked before the job starts (the last one the window
// used stands in the box). False: the user gave up.
bool askPassword(const FileOpsContext& ctx, std::string& password) {
    constexpr const char* kPasswordProperty = "kvArchivePassword";  // shared with the extract dialog
    QInputDialog ask(ctx.owner);
    ask.setObjectName(QStringLiteral("ArchivePassword"));
    ask.setWindowTitle(QStringLiteral("Archive password"));
    ask.setLabelText(QStringLiteral("The entries are encrypted. Password:"));
    ask.setTextEchoMode(QLineEdit::Password);
    if (ctx.owner) ask.setTextValue(ctx.owner->property(kPasswordProperty).toString());
    if (ask.exec() != QDialog::Accepted) return false;
    password = ask.textValue().toStdString();
    if (ctx.owner) ctx.owner->setProperty(kPasswordProperty, ask.textValue());
    return true;
}

void copyOutOfArchive(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    const TArchiveFolders::Level& level = *p->Archive().innermost();
    if (!makeExtractor(level.type)) {
        QMessageBox::information(
            ctx.owner, QStringLiteral("Archive"),
            QStringLiteral("%1 archives can be listed here, but their entries cannot be extracted.")
                .arg(typeName(level)));
        return;
    }
    const std::set<std::string> names = chosenNames(p);
    if (names.empty()) return;
    TFormCopy form(ctx.owner);
    form.activate(ctx);
    form.Edit1->setEnabled(false);  // the entries are the panel's choice, not typed names
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string target = resolveTypedPath(p->DiskFolder(), form.Edit2->text().toStdString());
    if (target.empty() || !prepareTargetFolder(ctx, target, form.windowTitle(), names.size())) return;
    fileops::ExtractJob job;
    job.archive = level.file;
    job.targetDir = target;
    job.innerBase = p->ArchiveInner();
    job.innerNames = names;
    if (chosenEncrypted(job.archive, job.innerBase, names) && !askPassword(ctx, job.password)) return;
    QPointer<TFPanel> passive(ctx.passive), active(p);
    const std::string archive = job.archive;
    // The disk panel's monitor rests while the job writes into its folder.
    MonitorHold hold = holdMonitors({ctx.passive});
    runArchiveJob(ctx, form.windowTitle(), std::make_unique<fileops::ExtractJob>(std::move(job)), archive,
                  target, [passive, active, hold] {
                      for (TFPanel* panel : {passive.data(), active.data()})
                          if (panel) panel->RefreshDir();
                  });
}

void copyIntoZip(const FileOpsContext& ctx) {
    TFPanel* from = ctx.active;
    TFPanel* into = ctx.passive;
    const QString why = whyNotWritable(into);
    if (!why.isEmpty()) return notPossible(ctx, QStringLiteral("Copying into the archive"), why);
    const std::vector<std::string> sources = chosenPaths(from);
    if (sources.empty()) return;
    // The archive itself, or a folder it lies in, would go into the new archive as a copy of
    // the old one.
    const std::string archive = into->Archive().innermost()->file;
    for (const std::string& s : sources)
        if (archive == s || archive.rfind(s + "/", 0) == 0)
            return notPossible(ctx, QStringLiteral("Copying into the archive"),
                               QStringLiteral("<%1> holds the archive itself.").arg(q(s)));
    TFormCopy form(ctx.owner);
    form.activate(ctx);
    form.Edit2->setEnabled(false);  // the target is the folder the archive panel shows
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string inner = into->ArchiveInner();
    fileops::AddToZipJob job;
    job.archive = archive;
    job.baseDir = from->CurDir;
    job.sources = sources;
    job.storedPrefix = inner.empty() ? std::string() : inner + "/";
    job.askBeforeReplacing = true;
    QPointer<TFPanel> intoPanel(into), fromPanel(from);
    runArchiveJob(ctx, form.windowTitle(), std::make_unique<fileops::AddToZipJob>(std::move(job)),
                  from->CurDir, archive, [intoPanel, fromPanel, archive] {
                      reloadIfShown(intoPanel, archive);
                      // The copied entries are no longer selected, as after any copy.
                      if (fromPanel) fromPanel->RefreshDir();
                  });
}

// Runs a change of the ZIP and lists it again; `changed` runs after that when the archive
// was written.
void runEdit(const FileOpsContext& ctx, fileops::EditZipJob job, const QString& caption,
             std::function<void(TFPanel*)> changed = {}) {
    auto owned = std::make_unique<fileops::EditZipJob>(std::move(job));
    const fileops::EditZipJob* edit = owned.get();  // the queue keeps it until `after` has run
    const std::string archive = edit->archive;
    QPointer<TFPanel> p(ctx.active);
    runArchiveJob(ctx, caption, std::move(owned), archive, archive, [p, archive, edit, changed] {
        reloadIfShown(p, archive);
        if (edit->written && changed && p) changed(p);
    });
}

}  // namespace

bool ArchiveTouched(const FileOpsContext& ctx, bool intoPassive) {
    return ctx.active->InArchive() || (intoPassive && ctx.passive->InArchive());
}

void ArchiveCopyCommand(const FileOpsContext& ctx) {
    if (ctx.active->InArchive() && ctx.passive->InArchive())
        return notPossible(ctx, QStringLiteral("Copying from one archive into another"),
                           QStringLiteral("Extract the entries into a folder first."));
    if (ctx.active->InArchive()) return copyOutOfArchive(ctx);
    if (ctx.passive->InArchive()) return copyIntoZip(ctx);
}

void ArchiveMoveCommand(const FileOpsContext& ctx) {
    notPossible(ctx, QStringLiteral("Moving or renaming"),
                QStringLiteral("Entries of an archive are copied out of it, and files copied into a ZIP."));
}

void ArchiveMakeFolderCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    const QString why = whyNotWritable(p);
    if (!why.isEmpty()) return notPossible(ctx, QStringLiteral("Making a folder"), why);
    TFormNewDir form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string typed = form.Edit1->currentText().toStdString();
    // The name as the archive's folders would hold it: nothing that leads out of the folder.
    std::string clean;
    bool isDir = false;
    const bool placed = archiveInnerPath(typed, clean, isDir);
    const std::string inner = placed ? innerPathOf(p, clean) : std::string();
    const bool taken = placed && p->Archive().innermost()->tree.find(inner) >= 0;
    if (!placed || typed.find_first_of("\\") != std::string::npos || typed[0] == '/' || taken) {
        QMessageBox::critical(
            ctx.owner, QStringLiteral("Error"),
            QStringLiteral("Cannot create the folder <%1>\n%2")
                .arg(q(typed), taken ? QStringLiteral("An entry of that name exists.")
                                     : QStringLiteral("The name leads outside this folder.")));
        return;
    }
    fileops::EditZipJob job;
    job.archive = p->Archive().innermost()->file;
    job.newFolders = {inner + "/"};
    const std::string shown = clean.substr(0, clean.find('/'));
    runEdit(ctx, std::move(job), form.windowTitle(),
            [shown](TFPanel* panel) { panel->PlaceCursorOn(shown); });
}

void ArchiveDeleteCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    const QString why = whyNotWritable(p);
    if (!why.isEmpty()) return notPossible(ctx, QStringLiteral("Deleting"), why);
    const std::set<std::string> names = chosenNames(p);
    if (names.empty()) return;
    TFormDelete form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const TArchiveTree& tree = p->Archive().innermost()->tree;
    fileops::EditZipJob job;
    job.archive = p->Archive().innermost()->file;
    for (const std::string& n : names) {
        const int node = n.empty() ? -1 : tree.find(innerPathOf(p, n));
        if (node > 0) tree.storedNames(node, job.deleteNames);  // never the archive's top
    }
    if (job.deleteNames.empty()) return;  // only folders the names imply, and none under them
    // The writer drops an encrypted entry only for the right password.
    if (chosenEncrypted(job.archive, p->ArchiveInner(), names) && !askPassword(ctx, job.password)) return;
    runEdit(ctx, std::move(job), form.windowTitle());
}

void ArchiveRefusedCommand(const FileOpsContext& ctx, const char* what) {
    notPossible(ctx, QString::fromUtf8(what), QStringLiteral("The panel shows a folder inside an archive."));
}

namespace {
// Holds a window's temporary copies; destroyed with the window, it removes what is left.
class CopiesHolder : public QObject {
public:
    explicit CopiesHolder(QObject* parent) : QObject(parent) {
        setObjectName(QStringLiteral("kvEntryCopies"));
    }
    TEntryCopies copies;
};
}  // namespace

TEntryCopies& EntryCopies(QWidget* owner) {
    static TEntryCopies ownerless;
    if (!owner) return ownerless;
    auto* holder =
        owner->findChild<CopiesHolder*>(QStringLiteral("kvEntryCopies"), Qt::FindDirectChildrenOnly);
    if (!holder) holder = new CopiesHolder(owner);
    return holder->copies;
}

std::string ArchiveEntryCopy(QWidget* owner, TFPanel* panel) {
    if (!panel->InArchive()) return {};
    panel->publishCurrent();
    const int i = panel->cursorIndex();
    if (!panel->FL.valid(i) || panel->FL.entry(i).isParent() || panel->CurIsDir) return {};
    std::string error;
    const std::string copy =
        EntryCopies(owner).make(panel->Archive(), innerPathOf(panel, panel->FL.entry(i).FileName), error);
    if (copy.empty())
        QMessageBox::critical(owner, QStringLiteral("Error"),
                              QStringLiteral("Cannot open <%1>\n%2").arg(q(panel->CurFile), q(error)));
    return copy;
}

}  // namespace kv::fileops_ui
