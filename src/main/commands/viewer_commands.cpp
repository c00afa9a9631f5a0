// The resource explorer: "View file resource" (Ctrl+R) and "Resource Explorer" (Ctrl+7).
#include <QMessageBox>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "viewers/form_resource.h"

namespace kv {

namespace {

// The explorer over the main window's place, showing the file.
void showResources(TForm1& f, const QString& path) {
    TFormResource* explorer = TFormResource::of(&f);
    explorer->setGeometry(f.geometry());
    explorer->show();
    explorer->raise();
    explorer->activateWindow();
    explorer->SetFile(path);
}

void viewResource(TForm1& f) {
    const QString path = QString::fromStdString(f.activePanel()->CurPath);
    if (TFormResource::isExecutableName(path)) showResources(f, path);
}

void resourceExplorer(TForm1& f) {
    if (TFormResource::isExecutableName(QString::fromStdString(f.activePanel()->CurFile)))
        return viewResource(f);
    QMessageBox::critical(&f, QStringLiteral("Error"),
                          QStringLiteral("Please select *.exe or *.dll file and try again"));
}

}  // namespace

void registerViewerCommands(CommandTable& t) {
    t.add("utils.viewResource", viewResource);
    t.add("utils.resourceExplorer", resourceExplorer);
}

}  // namespace kv
