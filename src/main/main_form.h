#pragma once
// TForm1: the main window. It owns the two file panels and every control around them,
// keeps track of the active panel, lays the window out, loads the plug-ins, reads
// kv.ini at start and writes it back at close. Its commands are rows of the command table
// (commands/), registered by the files of their subsystems; a key press is matched against
// the main menu's shortcuts first, then against the window's key map (key_map.h), and only
// then reaches the command line.
#include <QMainWindow>
#include <QStringList>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "main/command_history.h"
#include "main/commands/command_table.h"
#include "main/drive_bar.h"
#include "main/file_work.h"
#include "main/main_layout.h"
#include "main/main_menu.h"
#include "main/plugins.h"
#include "main/settings/settings.h"
#include "platform/mount_watcher.h"
#include "panel/fpanel.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;
class QToolButton;

namespace kv {

class TCommandConsole;
class TJobsIndicator;
class TQuickView;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // What a run needs from outside; the defaults are those of the installed program.
    struct Options {
        std::string programFolder;               // Main.Root; empty: the executable's folder
        std::vector<std::string> pluginFolders;  // empty: defaultPluginFolders(programFolder)
        std::filesystem::path iniPath;           // empty: FindKvIni()
        std::string startFolder;                 // empty: the working directory
    };

    explicit TForm1(Options options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    KvConfig& cfg() { return cfg_; }
    const std::filesystem::path& iniPath() const { return iniPath_; }

    // The panels and the active one (the one Main.Active names).
    TFPanel* LeftPanel = nullptr;
    TFPanel* RightPanel = nullptr;
    TFPanel* activePanel() const;
    TFPanel* passivePanel() const;
    TFPanel* panelOf(const std::string& side) const { return side == "Left" ? LeftPanel : RightPanel; }

    // Window regions, by their old control names.
    QWidget* Panel3 = nullptr;  // top strip: tool bar and drive bars
    QWidget* ToolBar = nullptr;
    std::array<QToolButton*, 8> SpeedButtons{};  // the tool bar's picture buttons
    TMyToolBar* DriveBarLeft = nullptr;
    TMyToolBar* DriveBarRight = nullptr;
    QWidget* Panel_Down = nullptr;  // command strip
    QWidget* Panel_Dos = nullptr;
    QLabel* ComRead = nullptr;     // the prompt
    QLineEdit* ComLine = nullptr;  // the command line
    QWidget* HotKeyBox = nullptr;
    std::array<QPushButton*, 7> HotKeys{};  // F2..F8
    QWidget* StatusBar1 = nullptr;
    QLabel* Label2 = nullptr;  // message text
    QLabel* Label1 = nullptr;  // the volume channel's name
    QFrame* Panel5 = nullptr;
    QProgressBar* VolBar = nullptr;
    TJobsIndicator* JobsIndicator = nullptr;  // running file jobs; a click opens their window
    QWidget* PanelSearch = nullptr;  // the quick-search box, hidden until a search starts
    QLineEdit* Edit1 = nullptr;
    QListWidget* ComList = nullptr;  // command history, never shown
    QTimer* TimerMain = nullptr;
    QTimer* Timer3 = nullptr;
    QSystemTrayIcon* RxTrayIcon1 = nullptr;
    QMenu* PopupMenu1 = nullptr;

    // Menus and items by component name ("N32", "P3", "Plugin1", ...); null when unknown.
    QAction* menuItem(const std::string& name) const;
    QMenu* menu(const std::string& name) const;
    TMainMenu& mainMenu() { return *mainMenu_; }
    // The plug-ins in load order; the plug-in menu item at tag i calls Plugins[i].
    const std::vector<std::unique_ptr<TTestPlugIn>>& plugins() const { return plugins_; }
    const std::vector<std::string>& pluginErrors() const { return pluginErrors_; }

    // Every command of the window; menu items, buttons, tray items and keys name their ids.
    CommandTable& commands() { return commands_; }
    const CommandTable& commands() const { return commands_; }
    // Runs a command when its rule enables it (and says so with commandRun); false when not.
    bool runCommand(std::string_view id);

    // The last layout pass.
    const MainLayout& layout() const { return layout_; }
    // W of the layout rule: the client width plus the old window's 4 px frame on each side.
    int outerWidth() const;
    // The window's bounds as kv.ini keeps them (the old window's outer bounds), and back.
    TMainFormBounds outerBounds() const;
    void applyWindowBounds();
    // The bars' visibility from Main.Show_*: status bar, top strip height, layout pass.
    void applyBarVisibility();

    // --- window life ---
    void FormResize();  // the layout pass
    void SetActive(const std::string& side, TFPanel* panel, const std::string& mode);
    void ActiveLeft(const std::string& style);
    void ActiveRight(const std::string& style);
    void ChangeFolderEv(const std::string& side);
    void ChangeFilePos(int index);
    void ChangeDrive(const std::string& side);
    void AddFileToHistory(const std::string& text);
    void File_Work(const std::string& fileName);
    void Update_AllPanels();
    void TimerMainTimer();
    void Load_Language();
    void CreateHotDrives();
    // A drive-bar press: the drive is checked on a worker (a dead mount never freezes the
    // window), then the panel goes there or "Drive not ready" is said.
    void DriveBarClick(const std::string& side, const std::string& mountPoint);
    // Right-button hiding: the tool bar (and the drive bars with it), the drive bars, the
    // status bar; each is kept in Main.Show_*.
    void ToolBarMouseDown();
    void Panel3MouseDown();
    void StatusBar1MouseDown();
    // File_Work's handlers by kind; the viewers and players set theirs here.
    FileWorkDispatch& fileWork() { return fileWork_; }
    // Runs typed commands and shows what they print.
    TCommandConsole* Console = nullptr;
    // The quick view (Alt+4): the passive panel gives its place to a preview of the entry
    // under the active panel's cursor, which follows that cursor (and moves to the other
    // side when the active panel changes). Off, the panel comes back as it was left.
    TQuickView* QuickView = nullptr;  // created when first turned on
    bool quickViewOn() const { return quickViewHost_ != nullptr; }
    void setQuickView(bool on);
    // The preview to the active panel's cursor entry, over the passive panel.
    void followQuickView();
    // The panel the preview covers now; null when the quick view is off.
    TFPanel* quickViewHost() const { return quickViewHost_; }

    // Sends a panel to another folder as entering a folder does: cursor on the first entry,
    // then the panel's folder event (prompt and folder monitor follow).
    void changeFolder(TFPanel* panel, const std::string& folder);

    // A key press as the window dispatches it; true when it was used up before the
    // command line. Public so tests can drive it like the event filter does.
    bool dispatchKey(int key, Qt::KeyboardModifiers mods, const QString& text);
    // The window's own key map (key_map.h); true when the key was a command key.
    bool FormKeyDown(int key, Qt::KeyboardModifiers mods);

    // Volume of a sound channel 0..255 (0 AudioCD, 1 wave, 2 MIDI); empty when no mixer
    // is available. Set by the sound system when it exists.
    std::function<std::optional<int>(int channel)> ReadVolume;
    std::function<void(int channel, int value)> WriteVolume;

    // Quick search in the active panel (quick_search_box.cpp), in the box PanelSearch with
    // the edit Edit1. FastFind moves the cursor to the first entry whose name starts with
    // `text` in any case; false when none does (the cursor stays).
    bool FastFind(const QString& text);
    // Opens the box over the active panel and types `typed` into it; nothing opens when no
    // entry starts with `typed`.
    void OpenQuickSearch(const QString& typed);
    // Adds to the box's text; refused (false, the text as it was) when no entry would match.
    bool QuickSearchType(const QString& more);
    // The cursor to the next (+1) or previous (-1) match, around the listing.
    void QuickSearchStep(int step);
    // A key while the box is shown: true when the box used it (Esc, Enter, Up, Down,
    // Backspace, characters); any other key closes the box and false lets it do its job.
    bool QuickSearchKey(int key, Qt::KeyboardModifiers mods, const QString& text);
    // The character Alt (or Alt+Shift) with this key types into the quick search; null when
    // the key is no character or the menu (a shortcut or a menu's "&" letter) or the key
    // map owns it.
    QChar quickSearchAltChar(int key, Qt::KeyboardModifiers mods, const QString& text) const;
    // Whether plain typing opens the quick search now (Global/QuickSearchOnTyping, an empty
    // command line, a character some entry of the active panel starts with).
    bool quickSearchOnTyping(Qt::KeyboardModifiers mods, const QString& text) const;
    // Puts the box over the bottom of the active panel.
    void placeQuickSearch();

    // The command history (ComList shows it).
    CommandHistory History;
    QStringList history() const;
    // The prompt's whole text; ComRead shows it shortened in the middle when it is long.
    const QString& promptText() const { return promptText_; }

signals:
    // A command ran (from the menu, a button, the tray or a key), by its id.
    void commandRun(const QString& id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FormCreate();
    void loadPlugins();
    void Super_Global();
    void FilePanels_Init();
    void PostLoadInit();
    void buildRegions();
    void buildTray();
    // File jobs still running: asks to stop them; true when none is left (or none was).
    bool StopJobsQuery();
    bool FormCloseQuery();
    void FormClose();
    void fitCommandLine();
    int promptWidth() const;

    Options options_;
    KvConfig& cfg_;
    std::filesystem::path iniPath_;
    MainLayout layout_;
    std::vector<std::unique_ptr<TTestPlugIn>> plugins_;
    std::vector<std::string> pluginErrors_;
    std::vector<std::string> startNotices_;  // settings or language files that were not read
    CommandTable commands_;
    std::unique_ptr<TMainMenu> mainMenu_;
    QString promptText_;
    bool forwarding_ = false;  // a key copy on its way to the command line
    bool closing_ = false;
    int topStripHeight_ = 56;
    FileWorkDispatch fileWork_;
    platform::MountWatcher mountWatcher_;
    TFPanel* quickViewHost_ = nullptr;  // rebuilds the drive bars when mounts change
};

}  // namespace kv
