// The quick view of the main window: the passive panel is hidden (its folder, listing and
// cursor untouched) and a TQuickView in its place previews the active panel's cursor entry.
#include "main/main_form.h"
#include "panel/panel_colors.h"
#include "viewers/quick_view/quick_view_panel.h"

namespace kv {

namespace {

std::string folderName(const std::string& folder) {
    if (folder == "/") return folder;
    const std::size_t slash = folder.find_last_of('/');
    return slash == std::string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

void TForm1::setQuickView(bool on) {
    if (on == quickViewOn()) return;
    if (on) {
        if (!QuickView) QuickView = new TQuickView(centralWidget());
        quickViewHost_ = passivePanel();
        quickViewHost_->hide();
        QuickView->show();
        QuickView->raise();
        followQuickView();
    } else {
        QuickView->clear();
        QuickView->hide();
        TFPanel* host = quickViewHost_;
        quickViewHost_ = nullptr;
        host->show();
        host->update();
    }
    mainMenu().setMark("P7", on);
}

void TForm1::followQuickView() {
    if (!quickViewHost_) return;
    TFPanel* host = passivePanel();
    if (host != quickViewHost_) {  // the other panel became active: the preview moves
        quickViewHost_->show();
        quickViewHost_ = host;
        host->hide();
    }
    QuickView->setGeometry(host->geometry());
    QuickView->setLook(toQColor(host->PanelFon, palette()), toQColor(host->FileColor, palette()),
                       toQColor(host->HeaderTextColor, palette()), toQColor(host->LineColor, palette()),
                       host->CanvasFont());
    const TFPanel* a = activePanel();
    if (a->InArchive()) {
        QuickView->showNote(a->CurFile, "Inside an archive: no preview");
    } else if (a->CurFile.empty() || a->CurFile == "..") {
        QuickView->showEntry(a->CurDir, folderName(a->CurDir));  // the folder's own summary
    } else {
        QuickView->showEntry(a->CurPath, a->CurFile);
    }
}

}  // namespace kv
