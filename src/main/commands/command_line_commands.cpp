// The command line's commands: running it, taking names from the panel, the history.
#include <QLabel>
#include <QLineEdit>

#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/output_form.h"
#include "platform/shell_command.h"

namespace kv {

namespace {

void runCommandLine(TForm1& f) {
    const std::string text = f.ComLine->text().toStdString();
    f.AddFileToHistory(text);
    // The shell runs it in the active panel's folder; what it prints goes to the output
    // window.
    auto r = f.Console->run(text, f.activePanel()->CurDir);
    if (!r.ok) f.Label2->setText(QString::fromStdString(r.message));
    f.ComLine->clear();
}

void appendCurrent(TForm1& f) {
    TFPanel* p = f.activePanel();
    p->publishCurrent();
    if (p->CurFile.empty()) return;
    QString line = f.ComLine->text();
    if (!line.isEmpty()) line += QLatin1Char(' ');
    // Commands run in this panel's folder, so the name as the panel lists it names the entry;
    // the word is plain text whatever bytes the name holds.
    line += QString::fromStdString(platform::shellWordForName(p->CurFile));
    f.ComLine->setText(line);
    f.ComLine->end(false);
}

// Up to and with the last space or dot; a dot or space that leaves three characters stays.
void deleteLastWord(TForm1& f) {
    QString line = f.ComLine->text();
    while (!line.isEmpty()) {
        const QChar last = line.back();
        if (last == QLatin1Char(' ') || last == QLatin1Char('.')) {
            if (line.size() != 3) line.chop(1);
            break;
        }
        line.chop(1);
    }
    f.ComLine->setText(line);
}

}  // namespace

void registerCommandLineCommands(CommandTable& t) {
    t.add("cmdline.run", runCommandLine);
    t.add("cmdline.appendCurrent", appendCurrent);
    t.add("cmdline.deleteWord", deleteLastWord);
    t.add("cmdline.clear", [](TForm1& f) { f.ComLine->clear(); });
    t.add("history.back", [](TForm1& f) {
        if (!f.History.empty()) f.ComLine->setText(QString::fromStdString(f.History.back()));
    });
    t.add("history.view");
}

}  // namespace kv
