// The built-in tools, the music commands and the volume keys.
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>

#include <cstdlib>

#include "main/calculator_form.h"
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "platform/launcher.h"
#include "tools/clipboard/clip_form.h"
#include "tools/dialer/dialup_form.h"
#include "tools/dialer/nm_dial_service.h"
#include "tools/dialer/pppd_dial_service.h"
#include "tools/games/life_form.h"
#include "tools/games/tetro_form.h"
#include "tools/sysinfo/info_form.h"
#include "tools/tool_window.h"
#include "tools/video/video_form.h"

namespace kv {

namespace {

void showCalculator(TForm1& f) {
    const std::string title =
        kvLanguage().DialogText(f.cfg().Main.Language, "Calculator", "Caption", "Calculator");
    TCalculatorForm calc(&f, QString::fromStdString(title));
    calc.exec();
}

void resourceExplorer(TForm1& f) {
    const QString file = QString::fromStdString(f.activePanel()->CurFile).toLower();
    if (file.endsWith(QLatin1String(".exe")) || file.endsWith(QLatin1String(".dll"))) {
        // "View file resource": the resource explorer is not built yet.
        return;
    }
    QMessageBox::critical(&f, QStringLiteral("Error"),
                          QStringLiteral("Please select *.exe or *.dll file and try again"));
}

// The console of this desktop, in the active panel's folder.
void console(TForm1& f) {
    std::vector<std::string> candidates;
    if (const char* t = std::getenv("TERMINAL"); t && *t) candidates.push_back(t);
    candidates.push_back("x-terminal-emulator");
    for (const auto& c : candidates) {
        auto r = platform::runDetached({c}, f.activePanel()->CurDir);
        if (r.ok) return;
        f.Label2->setText(QString::fromStdString(r.message));
    }
}

// A tool window's texts from its own section of the language file.
ToolTexts toolTexts(TForm1& f, std::string section) {
    return [language = f.cfg().Main.Language, section = std::move(section)](const char* key,
                                                                            const char* english) {
        return QString::fromStdString(kvLanguage().DialogText(language, section, key, english));
    };
}

// The wave volume in steps of 2, never to the ends of its range.
void stepVolume(TForm1& f, int step) {
    if (!f.ReadVolume || !f.WriteVolume) return;
    if (auto wave = f.ReadVolume(1); wave && *wave > 2 && *wave < 254) {
        f.WriteVolume(1, *wave + step);
        f.TimerMainTimer();
    }
}

// The system-information window, modal; "current drive" is the active panel's folder.
void showSystemInfo(TForm1& f) {
    SystemInfoSource source;
    source.driveSize = [folder = f.activePanel()->CurDir] { return platform::fileSystemSize(folder); };
    TFormInfo info(std::move(source), toolTexts(f, "AboutSystem"), &f);
    info.exec();
}

// The clipboard viewer, modal; its bounds go back to the settings the main window saves.
void showClipboard(TForm1& f) {
    TClipboardBounds& kept = f.cfg().ClipboardBounds;
    TFormClip clip(QRect(kept.Left, kept.Top, kept.Width, kept.Height), toolTexts(f, "Clipboard"), &f);
    clip.exec();
    const QRect b = clip.bounds();
    kept = {b.left(), b.top(), b.width(), b.height()};
}

// The video-mode window, modal, over XRandR where the desktop runs on X11.
void showVideoMode(TForm1& f) {
    const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    TFormVideo video(video::systemDisplayModes(x11), toolTexts(f, "ChangeVideo"), &f);
    video.exec();
}

// A new dialer window each time, modeless; its options go back to the settings on close.
void showDialer(TForm1& f) {
    auto service = dialer::networkManagerService();
    if (!service) service = dialer::pppdService();  // no NetworkManager: the pppd peers
    const TDialUpSettings& s = f.cfg().DialUpSettings;
    auto* w = new TFormDialUp(std::move(service), {s.Redial, s.CloseOnBusy, s.CloseOnConnect, s.RedialTime},
                              toolTexts(f, "InetDialer"));
    QObject::connect(w, &TFormDialUp::closedWithOptions, &f, [&f](const DialerOptions& o) {
        f.cfg().DialUpSettings = {o.redial, o.closeOnBusy, o.closeOnConnect, o.redialTime};
    });
    showToolWindow(w, &f);
}

}  // namespace

void registerToolCommands(CommandTable& t) {
    t.add("utils.calculator", showCalculator);
    t.add("utils.resourceExplorer", resourceExplorer);
    t.add("utils.console", console);
    t.add("volume.up", [](TForm1& f) { stepVolume(f, 2); });
    t.add("volume.down", [](TForm1& f) { stepVolume(f, -2); });
    t.add("games.tetris", [](TForm1& f) { showToolWindow(new TTetro1(toolTexts(f, "Tetris")), &f); });
    t.add("games.life", [](TForm1& f) { showToolWindow(new TFormLife(toolTexts(f, "Life")), &f); });
    t.add("utils.systemInfo", showSystemInfo);
    t.add("utils.clipboard", showClipboard);
    t.add("utils.videoMode", showVideoMode);
    t.add("utils.dialer", showDialer);
    t.add("music.playCurrent", [](TForm1& f) { f.File_Work(f.activePanel()->CurPath); });
    // Their windows and players are not built yet.
    for (const char* id :
         {"tools.notepad", "utils.viewResource", "system.emptyTrash", "system.clearRecentDocs"})
        t.add(id);
}

}  // namespace kv
