#include "fileops/file_command_support.h"

#include <sys/stat.h>

#include <QMessageBox>
#include <QPointer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "panel/fpanel.h"

namespace kv::fileops_ui {

std::vector<std::string> chosenPaths(TFPanel* p) {
    p->publishCurrent();
    std::vector<std::string> out;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) {
        const TDirEntry& e = p->FL.entry(i);
        if (e.Selected && !e.isParent()) out.push_back(p->pathOf(e.FileName));
    }
    if (out.empty()) {
        const int i = p->cursorIndex();
        if (p->FL.valid(i) && !p->FL.entry(i).isParent()) out.push_back(p->pathOf(p->FL.entry(i).FileName));
    }
    return out;
}

std::string resolveTypedPath(const std::string& baseFolder, std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
    if (text.empty()) return {};
    if (text == "~" || text.rfind("~/", 0) == 0) {
        const char* home = std::getenv("HOME");
        text = std::string(home ? home : "/") + text.substr(1);
    }
    std::filesystem::path p(text);
    if (p.is_relative()) p = std::filesystem::path(baseFolder) / p;
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

bool makeFolderWithParents(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno == EEXIST) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) return false;
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    if (!makeFolderWithParents(path.substr(0, slash))) return false;
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
    return false;
}

bool prepareTargetFolder(const FileOpsContext& ctx, const std::string& target, const QString& caption,
                         std::size_t count) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        QMessageBox::critical(
            ctx.owner, QStringLiteral("Error"),
            QStringLiteral("%1 entries cannot go onto the file <%2>").arg(count).arg(qName(target)));
        return false;
    }
    if (QMessageBox::question(ctx.owner, caption,
                              QStringLiteral("The folder <%1> does not exist. Create it?").arg(qName(target)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) != QMessageBox::Yes)
        return false;
    if (!makeFolderWithParents(target)) {
        QMessageBox::critical(
            ctx.owner, QStringLiteral("Error"),
            QStringLiteral("Cannot create the folder <%1>\n%2").arg(qName(target), q(std::strerror(errno))));
        return false;
    }
    return true;
}

MonitorHold holdMonitors(std::vector<TFPanel*> panels) {
    auto held = std::make_shared<std::vector<QPointer<TFPanel>>>();
    for (TFPanel* p : panels) {
        if (!p) continue;
        bool twice = false;
        for (const auto& h : *held) twice = twice || h == p;
        if (twice) continue;
        p->HoldMonitor();
        held->emplace_back(p);
    }
    // Released on the GUI thread: the last owner is the job's request, which the queue drops there.
    return MonitorHold(held.get(), [held](void*) {
        for (const auto& p : *held)
            if (p) p->ReleaseMonitor();
    });
}

}  // namespace kv::fileops_ui
