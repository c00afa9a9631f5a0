#include "fileops/fileops_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fileops/archive/archive_panel_commands.h"
#include "fileops/engine/batch_job.h"
#include "fileops/engine/shell_ops.h"
#include "fileops/file_forms.h"
#include "fileops/file_job.h"
#include "panel/fpanel.h"

namespace kv::fileops_ui {

namespace {

using fileops::ShellCopy;
using fileops::ShellDelete;
using fileops::ShellMove;
using fileops::ShellResult;

QString q(const std::string& s) { return QString::fromStdString(s); }

void errorBox(const FileOpsContext& ctx, const QString& text) {
    QMessageBox::critical(ctx.owner, QStringLiteral("Error"), text);
}

// The selected entries' paths in listing order; ".." is never among them.
std::vector<std::string> selectedPaths(const TFPanel* p) {
    std::vector<std::string> out;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) {
        const TDirEntry& e = p->FL.entry(i);
        if (e.Selected && !e.isParent()) out.push_back(p->pathOf(e.FileName));
    }
    return out;
}

// Nothing selected and the cursor on "..": the parent folder is never copied, moved or deleted.
bool onParentOnly(const TFPanel* p) {
    if (p->FL.SelectedCount > 0) return false;
    const int i = p->cursorIndex();
    return !p->FL.valid(i) || p->FL.entry(i).isParent();
}

// A typed path: "~" is the home folder, a relative one is taken from the active panel's folder.
std::string resolveTyped(const FileOpsContext& ctx, std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
    if (text.empty()) return {};
    if (text == "~" || text.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        text = std::string(home ? home : "/") + text.substr(1);
    }
    std::filesystem::path p(text);
    if (p.is_relative()) p = std::filesystem::path(ctx.active->CurDir) / p;
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

// Several entries need a folder to go into: a missing one is made after asking, a file of
// that name refuses the command (they would otherwise end up as one file).
bool prepareFolderTarget(const FileOpsContext& ctx, const std::string& target, std::size_t count,
                         const QString& caption) {
    if (count < 2) return true;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errorBox(ctx, QStringLiteral("%1 entries cannot go onto the file <%2>").arg(count).arg(q(target)));
        return false;
    }
    if (QMessageBox::question(ctx.owner, caption,
                              QStringLiteral("The folder <%1> does not exist. Create it?").arg(q(target)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return false;
    if (::mkdir(target.c_str(), 0777) != 0) {
        errorBox(ctx,
                 QStringLiteral("Cannot create the folder <%1>\n%2").arg(q(target), q(std::strerror(errno))));
        return false;
    }
    return true;
}

// Both folder monitors rest while a command changes the folders, so their notices do not
// re-read the panels between requests; they watch again when it ends.
class MonitorsPaused {
public:
    explicit MonitorsPaused(const FileOpsContext& ctx) : ctx_(ctx) {
        for (TFPanel* p : {ctx.active, ctx.passive})
            if (p->Monitor && p->Monitor->Running()) p->Monitor->Stop();
    }
    ~MonitorsPaused() {
        for (TFPanel* p : {ctx_.active, ctx_.passive}) {
            try {
                p->RestartMonitor();
            } catch (const std::exception&) {
                // A folder that cannot be watched keeps its listing; the next folder change retries.
            }
        }
    }

private:
    const FileOpsContext& ctx_;
};

void refreshBoth(const FileOpsContext& ctx) {
    for (TFPanel* p : {ctx.active, ctx.passive}) p->RefreshDir();
}

std::string joinedSources(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ";") + n;
    return out;
}

// One request per source, on the worker as one job; a request the user cancelled ends the
// command (send answers true then).
using SendOne =
    std::function<bool(fileops::FileOpHost&, const std::string& source, const std::string& target)>;
void runBatch(const FileOpsContext& ctx, const QString& caption, std::vector<std::string> sources,
              const std::string& target, SendOne send) {
    std::vector<std::string> paths;
    for (const auto& s : sources)
        for (const auto& one : fileops::splitZeroList(fileops::zeroList(s))) paths.push_back(one);
    auto job = std::make_unique<fileops::BatchJob>([sources, target, send](fileops::FileOpHost& host) {
        for (const auto& s : sources)
            if (send(host, s, target)) break;
    });
    runFileJob(ctx, caption, std::move(job), paths, target);
}

}  // namespace

// After make folder or make file: the cursor on the new entry (the first when there is
// none of that name), scrolled into view when it lies beyond the page.
void PlaceCursorOn(TFPanel* p, const std::string& name) {
    int i = p->FL.findByName(name);
    if (i == 0) i = 1;
    p->HideCursor();
    p->putCursorOn(i);
    p->DrawList();
    p->DrawCursor();
}

void CopyCommand(const FileOpsContext& ctx) {
    if (ArchiveTouched(ctx, true)) return ArchiveCopyCommand(ctx);
    TFPanel* p = ctx.active;
    p->publishCurrent();
    if (onParentOnly(p)) return;
    TFormCopy form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string target = resolveTyped(ctx, form.Edit2->text().toStdString());
    if (target.empty()) return;
    const QString caption = form.windowTitle();
    std::vector<std::string> sources;
    if (p->FL.SelectedCount == 0) {
        // Only a typed list is split at ";"; each name is taken from the panel's folder.
        std::string typed = form.Edit1->text().toStdString();
        for (std::size_t at = 0; at <= typed.size();) {
            const std::size_t end = std::min(typed.find(';', at), typed.size());
            const std::string one = resolveTyped(ctx, typed.substr(at, end - at));
            if (!one.empty()) sources.push_back(one);
            at = end + 1;
        }
        if (sources.empty() || !prepareFolderTarget(ctx, target, sources.size(), caption)) return;
        // One request for the typed list.
        sources = {joinedSources(sources)};
    } else {
        sources = selectedPaths(p);
        if (!prepareFolderTarget(ctx, target, sources.size(), caption)) return;
    }
    MonitorsPaused paused(ctx);  // the panels need not show the temporaries
    runBatch(ctx, caption, sources, target,
             [](fileops::FileOpHost& h, const std::string& s, const std::string& t) {
                 return ShellCopy(h, s, t, 1, 0).aborted;
             });
}

void RenameMoveCommand(const FileOpsContext& ctx, bool inPlace) {
    if (ArchiveTouched(ctx, !inPlace)) return ArchiveMoveCommand(ctx);
    TFPanel* p = ctx.active;
    p->publishCurrent();
    if (onParentOnly(p)) return;
    const std::string source = p->CurPath;
    TFormRenMove form(ctx.owner);
    form.activate(ctx, inPlace);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string target = resolveTyped(ctx, form.Edit1->currentText().toStdString());
    if (target.empty()) return;
    // Asks before replacing an existing target, as copy does (noconfirm 0).
    const QString caption = form.windowTitle();
    std::vector<std::string> sources;
    if (p->FL.SelectedCount == 0) {
        if (target == source) return;
        sources = {source};
    } else {
        sources = selectedPaths(p);
        if (!prepareFolderTarget(ctx, target, sources.size(), caption)) return;
    }
    MonitorsPaused paused(ctx);
    runBatch(ctx, caption, sources, target,
             [](fileops::FileOpHost& h, const std::string& s, const std::string& t) {
                 return ShellMove(h, s, t, 0, 0).aborted;
             });
}

void DeleteCommand(const FileOpsContext& ctx) {
    if (ArchiveTouched(ctx, false)) return ArchiveDeleteCommand(ctx);
    TFPanel* p = ctx.active;
    p->publishCurrent();
    if (onParentOnly(p)) return;
    TFormDelete form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const int recycle = ctx.delToRecycle ? 1 : 0;
    const std::vector<std::string> sources =
        p->FL.SelectedCount == 0 ? std::vector<std::string>{p->CurPath} : selectedPaths(p);
    MonitorsPaused paused(ctx);
    // When it ends both panels are re-read; each cursor keeps its index, clamped to the
    // shorter listing.
    runBatch(ctx, form.windowTitle(), sources, {},
             [recycle](fileops::FileOpHost& h, const std::string& s, const std::string&) {
                 return ShellDelete(h, s, recycle, 0).aborted;
             });
}

namespace {
// The path for a typed name: a full path as it is, else in the active panel's folder.
std::string pathForName(const FileOpsContext& ctx, const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : ctx.active->pathOf(name);
}
}  // namespace

void MakeFolderCommand(const FileOpsContext& ctx) {
    if (ArchiveTouched(ctx, false)) return ArchiveMakeFolderCommand(ctx);
    TFormNewDir form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    const std::string name = form.Edit1->currentText().toStdString();
    form.hide();
    // One level only: a missing parent is an error, not made on the way.
    if (::mkdir(pathForName(ctx, name).c_str(), 0777) != 0)
        QMessageBox::critical(ctx.owner, QStringLiteral("Error"),
                              QStringLiteral("Cannot create the folder <%1>").arg(q(name)));
    refreshBoth(ctx);
    ctx.passive->HideCursor();
    PlaceCursorOn(ctx.active, name);
}

void MakeFileCommand(const FileOpsContext& ctx) {
    if (ArchiveTouched(ctx, false)) return ArchiveRefusedCommand(ctx, "Making a file");
    TFormNewFile form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    const std::string name = form.Edit1->text().toStdString();
    form.hide();
    if (name.empty()) return;
    const std::string path = pathForName(ctx, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        QMessageBox::critical(ctx.owner, QStringLiteral("Error"), QStringLiteral("Cannot create this file!"));
        return;
    }
    // O_EXCL: a file that appeared in the meantime is never emptied.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        errorBox(ctx,
                 QStringLiteral("Cannot create the file <%1>\n%2").arg(q(name), q(std::strerror(errno))));
    else
        ::close(fd);
    refreshBoth(ctx);
    ctx.passive->HideCursor();
    PlaceCursorOn(ctx.active, name);
}

void AttributesCommand(const FileOpsContext& ctx) {
    if (ArchiveTouched(ctx, false)) return ArchiveRefusedCommand(ctx, "Changing attributes");
    TFPanel* p = ctx.active;
    p->publishCurrent();
    const int i = p->cursorIndex();
    if (!p->FL.valid(i) || p->FL.entry(i).isParent()) return;
    TFormAttrib form(ctx.owner);
    if (!form.activate(ctx)) {
        errorBox(ctx, QStringLiteral("Cannot read the attributes of <%1>\n%2")
                          .arg(q(p->CurPath), q(std::strerror(errno))));
        return;
    }
    if (form.exec() == QDialog::Accepted) {
        const unsigned mode = (form.oldMode & 07000u) | form.chosenPermissions();
        if (mode != (form.oldMode & 07777u) && ::chmod(p->CurPath.c_str(), mode) != 0)
            errorBox(ctx, QStringLiteral("Cannot change the attributes of <%1>\n%2")
                              .arg(q(p->CurPath), q(std::strerror(errno))));
    }
    refreshBoth(ctx);
}

}  // namespace kv::fileops_ui
