// The desktop's programs in place of the old system commands: the editor (F4 and the tool
// bar's NotePad), the console (MS-DOS window), and the Recycle Bin and recent-documents
// commands.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/viewer_work.h"
#include "platform/desktop_programs.h"
#include "platform/recent_docs.h"
#include "platform/trash_empty.h"

namespace kv {

namespace {

void start(TForm1& f, const std::vector<platform::CommandLine>& candidates, const char* what) {
    const auto r = platform::launchFirst(candidates, f.activePanel()->CurDir);
    if (!r.ok)
        f.Label2->setText(QString::fromLatin1(what) + QStringLiteral(": ") +
                          QString::fromStdString(r.message));
}

void emptyRecycleBin(TForm1& f) {
    const std::string question = kvLanguage().MainText(
        f.cfg().Main.Language, "Commands", "Confirm_ClearRecycle", "Do you want really clear Recycle Bin ?");
    if (QMessageBox::question(&f, QStringLiteral("Confirm"), QString::fromStdString(question),
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Cancel)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const platform::TrashEmptyResult r = platform::emptyTrash(platform::homeTrashFolder());
    QApplication::restoreOverrideCursor();
    if (r.ok()) {
        f.Label2->setText(QStringLiteral("Recycle Bin is empty"));
        return;
    }
    // What stays is said, never passed over as if the bin were empty.
    QString text =
        QStringLiteral("%1 item(s) could not be removed from the Recycle Bin:").arg(r.failures.size());
    for (size_t i = 0; i < r.failures.size() && i < 5; ++i)
        text += QStringLiteral("\n") + QString::fromStdString(r.failures[i]);
    if (r.failures.size() > 5) text += QStringLiteral("\n...");
    QMessageBox::critical(&f, QStringLiteral("Error"), text);
}

void clearRecentDocs(TForm1& f) {
    const auto r = platform::clearRecentDocs(platform::recentDocsFile());
    if (!r.ok) QMessageBox::critical(&f, QStringLiteral("Error"), QString::fromStdString(r.message));
}

}  // namespace

void registerLaunchCommands(CommandTable& t) {
    // A text file opens in our editor; a folder or a binary file goes to the desktop's editor,
    // as the old editor command took any entry.
    t.add("file.edit", [](TForm1& f) {
        if (!editInOurEditor(f)) start(f, platform::editorCommands(f.activePanel()->CurPath), "Edit");
    });
    t.add("tools.notepad", [](TForm1& f) { start(f, platform::editorCommands({}), "NotePad"); });
    t.add("utils.console", [](TForm1& f) { start(f, platform::terminalCommands(), "Console"); });
    t.add("system.emptyTrash", emptyRecycleBin);
    t.add("system.clearRecentDocs", clearRecentDocs);
}

}  // namespace kv
