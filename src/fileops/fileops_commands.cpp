#include "fileops/fileops_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fileops/engine/delete_job.h"
#include "fileops/engine/transfer_job.h"
#include "fileops/file_command_support.h"
#include "fileops/file_forms.h"
#include "fileops/file_job.h"
#include "panel/fpanel.h"

namespace kv::fileops_ui {

namespace {

void errorBox(const FileOpsContext& ctx, const QString& text) {
    QMessageBox::critical(ctx.owner, QStringLiteral("Error"), text);
}

// The "from" field with nothing selected: a typed list, split at ";" only here, each name
// taken from the panel's folder.
std::vector<std::string> typedSources(const FileOpsContext& ctx, const std::string& typed) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at <= typed.size();) {
        const std::size_t end = std::min(typed.find(';', at), typed.size());
        const std::string one = resolveTypedPath(ctx.active->CurDir, typed.substr(at, end - at));
        if (!one.empty()) out.push_back(one);
        at = end + 1;
    }
    return out;
}

void runTransfer(const FileOpsContext& ctx, const QString& caption, fileops::TransferRequest r) {
    const std::vector<std::string> sources = r.sources;
    const std::string target = r.target;
    runFileJob(ctx, caption, std::make_unique<fileops::TransferJob>(std::move(r)), sources, target);
}

}  // namespace

void CopyCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    std::vector<std::string> sources = chosenPaths(p);
    if (sources.empty()) return;  // the cursor on ".." and nothing selected
    TFormCopy form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string target = resolveTypedPath(p->CurDir, form.Edit2->text().toStdString());
    if (target.empty()) return;
    const QString caption = form.windowTitle();
    if (p->FL.SelectedCount == 0) sources = typedSources(ctx, form.Edit1->text().toStdString());
    if (sources.empty()) return;
    if (sources.size() > 1 && !prepareTargetFolder(ctx, target, caption, sources.size())) return;
    fileops::TransferRequest r;
    r.sources = std::move(sources);
    r.target = target;
    runTransfer(ctx, caption, std::move(r));
}

void RenameMoveCommand(const FileOpsContext& ctx, bool inPlace) {
    TFPanel* p = ctx.active;
    std::vector<std::string> sources = chosenPaths(p);
    if (sources.empty()) return;
    TFormRenMove form(ctx.owner);
    form.activate(ctx, inPlace);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    const std::string target = resolveTypedPath(p->CurDir, form.Edit1->currentText().toStdString());
    if (target.empty()) return;
    const QString caption = form.windowTitle();
    if (sources.size() == 1 && target == sources.front()) return;
    if (sources.size() > 1 && !prepareTargetFolder(ctx, target, caption, sources.size())) return;
    // Asks before replacing an existing target, as copy does.
    fileops::TransferRequest r;
    r.sources = std::move(sources);
    r.target = target;
    r.move = true;
    runTransfer(ctx, caption, std::move(r));
}

void DeleteCommand(const FileOpsContext& ctx) {
    TFPanel* p = ctx.active;
    std::vector<std::string> sources = chosenPaths(p);
    if (sources.empty()) return;
    TFormDelete form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    form.hide();
    // When it ends both panels are re-read; each cursor keeps its index, clamped to the
    // shorter listing.
    fileops::DeleteRequest r;
    r.sources = sources;
    r.toTrash = ctx.delToRecycle;
    runFileJob(ctx, form.windowTitle(), std::make_unique<fileops::DeleteJob>(std::move(r)), sources, {});
}

namespace {
// The path for a typed name: a full path as it is, else in the active panel's folder.
std::string pathForName(const FileOpsContext& ctx, const std::string& name) {
    return !name.empty() && name[0] == '/' ? name : ctx.active->pathOf(name);
}

void refreshBoth(const FileOpsContext& ctx) {
    for (TFPanel* p : {ctx.active, ctx.passive}) p->RefreshDir();
}
}  // namespace

void MakeFolderCommand(const FileOpsContext& ctx) {
    TFormNewDir form(ctx.owner);
    form.activate(ctx);
    if (form.exec() != QDialog::Accepted) return;
    const std::string name = form.Edit1->currentText().toStdString();
    form.hide();
    // "a/b/c" makes the missing parents on the way; an existing folder is an error.
    const std::string path = pathForName(ctx, name);
    struct stat st {};
    const bool existed = ::lstat(path.c_str(), &st) == 0;
    if (existed || !makeFolderWithParents(path))
        errorBox(ctx, QStringLiteral("Cannot create the folder <%1>\n%2")
                          .arg(qName(name), q(std::strerror(existed ? EEXIST : errno))));
    refreshBoth(ctx);
    ctx.passive->HideCursor();
    // The cursor on the first new part, the one this folder shows.
    ctx.active->PlaceCursorOn(name.substr(0, name.find('/')));
}

void MakeFileCommand(const FileOpsContext& ctx) {
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
                 QStringLiteral("Cannot create the file <%1>\n%2").arg(qName(name), q(std::strerror(errno))));
    else
        ::close(fd);
    refreshBoth(ctx);
    ctx.passive->HideCursor();
    ctx.active->PlaceCursorOn(name);
}

void AttributesCommand(const FileOpsContext& ctx) {
    const std::vector<std::string> paths = chosenPaths(ctx.active);
    if (paths.empty()) return;
    TFormAttrib form(ctx.owner);
    std::vector<fileops::Failure> failures;
    if (!form.activate(ctx, paths, failures)) {
        errorBox(ctx, QStringLiteral("Cannot read the attributes of <%1>\n%2")
                          .arg(qName(failures.front().path), q(failures.front().reason)));
        return;
    }
    if (form.exec() == QDialog::Accepted) {
        std::string error;
        const fileops::AttributeChange change = form.chosenChange(error);
        if (!error.empty()) {
            errorBox(ctx, q(error));
            return;
        }
        const auto failed = fileops::applyAttributes(paths, change);
        failures.insert(failures.end(), failed.begin(), failed.end());
        fileops::JobResult r;
        r.failures = failures;
        showJobSummary(ctx.owner, form.windowTitle(), r);
    }
    refreshBoth(ctx);
}

}  // namespace kv::fileops_ui
