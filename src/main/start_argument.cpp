#include "main/start_argument.h"

#include <QFileInfo>

#include <algorithm>

#include "main/main_form.h"
#include "panel/fpanel.h"
#include "panel/model/archive_folder.h"
#include "viewers/form_resource.h"

namespace kv {

StartArgument ClassifyStartArgument(const QString& argument) {
    StartArgument a;
    if (argument.isEmpty()) return a;
    const QFileInfo info(argument);
    if (info.isDir()) {
        a.startFolder = info.absoluteFilePath().toStdString();
    } else if (info.isFile()) {
        const std::string path = info.absoluteFilePath().toStdString();
        // A self-extracting executable is an executable first, as before.
        if (!TFormResource::isExecutableName(info.absoluteFilePath()) &&
            folderArchiveType(path) != atUnknown) {
            a.archive = path;
            a.startFolder = info.absolutePath().toStdString();
        } else {
            a.resourceExplorer = true;
        }
    }
    return a;
}

bool OpenArchiveInPanel(TForm1& form, const std::filesystem::path& archive) {
    TFPanel* p = form.activePanel();
    if (std::filesystem::path(p->CurDir) != archive.parent_path()) return false;
    const int i = p->FL.findByName(archive.filename().string());
    if (i <= 0) return false;
    p->HideCursor();
    const int page = std::max(1, p->pageSize());
    p->PosList = i - 1 < page ? 0 : i - 1;
    p->Bar_Pos = i - 1 - p->PosList;
    p->LocateCursor();
    p->DrawList();
    p->DrawCursor();
    p->EnterItem();
    return true;
}

}  // namespace kv
