#include "main/viewer_work.h"

#include <QMessageBox>

#include <filesystem>

#include "fileops/archive/archive_panel_commands.h"
#include "fileops/archive/entry_copies.h"
#include "main/file_work.h"
#include "main/main_form.h"
#include "panel/panel_colors.h"
#include "viewers/editor/form_edit.h"
#include "viewers/form_view.h"
#include "viewers/picture_viewer.h"

namespace kv {

namespace {

// On every activation the editor takes the left panel's background and font.
TFormEdit::AppearanceSource leftPanelLook(TForm1& form) {
    QPointer<TFPanel> left = form.LeftPanel;
    return [left]() -> TFormEdit::Appearance {
        if (!left) return {};
        return {toQColor(left->PanelFon, left->palette()), left->CanvasFont()};
    };
}

TFormEdit* openEditor(TForm1& form, const std::string& path, bool* notText) {
    QString error;
    TFormEdit* e = TFormEdit::Open(&form, path, leftPanelLook(form), &error, notText);
    if (!e && !*notText) QMessageBox::critical(&form, QStringLiteral("Error"), error);
    return e;
}

}  // namespace

void showPictureViewer(TForm1& form, const std::string&) {
    TViewerForm* viewer = TViewerForm::of(&form);
    // Pictures inside an archive are shown from temporary copies, each made when the viewer
    // steps onto it; they all go when the viewer closes.
    std::vector<std::string> copies;
    viewer->EntryFile = [&form, &copies](TFPanel* p) -> std::string {
        if (!p->InArchive()) return p->CurPath;
        std::string error;
        const std::string copy = fileops_ui::EntryCopies(&form).make(
            p->Archive(), p->ArchiveInner().empty() ? p->CurFile : p->ArchiveInner() + "/" + p->CurFile,
            error);
        if (!copy.empty()) copies.push_back(copy);
        return copy;
    };
    viewer->Show(form.activePanel(), {form.LeftPanel, form.RightPanel});
    viewer->EntryFile = nullptr;
    for (const std::string& c : copies) fileops_ui::EntryCopies(&form).release(c);
}

void openTextEditor(TForm1& form, const std::string& path) {
    bool notText = false;
    // What the editor refuses as no text is viewed; a folder ("..") is neither's.
    std::error_code ec;
    if (!openEditor(form, path, &notText) && notText && std::filesystem::is_regular_file(path, ec))
        openFileViewer(form, path);
}

void openFileViewer(TForm1& form, const std::string& path) {
    QString error;
    TFormView* v = TFormView::Open(&form, path, &error);
    if (!v) {
        QMessageBox::critical(&form, QStringLiteral("Error"), error);
        return;
    }
    v->EditFile = [&form](const std::string& file) {
        if (!editorTakes(file)) return false;
        bool notText = false;
        return openEditor(form, file, &notText) != nullptr;
    };
}

bool editInOurEditor(TForm1& form) {
    TFPanel* p = form.activePanel();
    if (p->CurIsDir || p->CurPath.empty()) return false;
    bool notText = false;
    openEditor(form, p->CurPath, &notText);
    return !notText;
}

}  // namespace kv
