#include "main/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QStyle>
#include <QToolButton>

#include <unistd.h>

#include <filesystem>

#include "fileops/job_queue.h"
#include "fileops/jobs_indicator.h"
#include "main/app_icon.h"
#include "main/desktop_open.h"
#include "panel/model/file_kinds.h"
#include "main/bars.h"
#include "main/music_session.h"
#include "main/output_form.h"
#include "main/panel_dialogs/form_drive.h"
#include "main/tool_pictures.h"
#include "main/tray_menu.h"

namespace kv {

namespace {

// The client area: it never erases its own background; the layout pass says which
// gaps between the controls get the window colour.
class ClientArea : public QWidget {
public:
    explicit ClientArea(TForm1* form) : QWidget(form), form_(form) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor window = palette().color(QPalette::Window);
        for (const QRect& r : form_->layout().backgroundGaps) p.fillRect(r, window);
    }

private:
    TForm1* form_;
};

std::string currentDirectory() {
    std::error_code ec;
    auto cwd = std::filesystem::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

QFont promptFont() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSize(8);
    f.setBold(true);
    return f;
}

}  // namespace

TForm1::TForm1(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), cfg_(kvConfig()) {
    FormCreate();
}

TForm1::~TForm1() {
    mountWatcher_.stop();
    qApp->removeEventFilter(this);
}

TFPanel* TForm1::activePanel() const { return cfg_.Main.Active == "Left" ? LeftPanel : RightPanel; }
TFPanel* TForm1::passivePanel() const { return cfg_.Main.Active == "Left" ? RightPanel : LeftPanel; }

int TForm1::outerWidth() const { return width() + 8; }

QAction* TForm1::menuItem(const std::string& name) const { return mainMenu_->item(name); }
QMenu* TForm1::menu(const std::string& name) const { return mainMenu_->menu(name); }

bool TForm1::runCommand(std::string_view id) {
    if (!commands_.isEnabled(id, *this)) return false;
    emit commandRun(QString::fromUtf8(id.data(), static_cast<qsizetype>(id.size())));
    commands_.run(id, *this);
    return true;
}

// --- start-up ---------------------------------------------------------------------

void TForm1::FormCreate() {
    cfg_.Main.Build = "30";
    if (options_.programFolder.empty()) options_.programFolder = ExecutableFolder().string();
    if (options_.pluginFolders.empty()) options_.pluginFolders = defaultPluginFolders(options_.programFolder);
    iniPath_ = options_.iniPath.empty() ? FindKvIni() : options_.iniPath;

    setWindowTitle(QStringLiteral("Korvalen v1.00"));
    setWindowIcon(korvalenIcon());
    registerAllCommands(commands_);
    buildRegions();
    mainMenu_ = std::make_unique<TMainMenu>(*this);
    mainMenu_->build(menuBar());
    // The design bounds: what a kv.ini without a [MainForm] section leaves.
    move(159, 112);
    resize(452, 288 + menuBar()->sizeHint().height());
    loadPlugins();
    Super_Global();
    FilePanels_Init();
    Global_Init(cfg_, options_.programFolder);
    Default_Init(cfg_);
    cfg_.MainForm = outerBounds();
    if (std::string why = Load_INI(iniPath_, cfg_, *LeftPanel, *RightPanel); !why.empty())
        startNotices_.push_back("The settings were not read: " + why);
    applyWindowBounds();
    if (RxTrayIcon1)
        RxTrayIcon1->setVisible(cfg_.Main.SysTrayIcon && QSystemTrayIcon::isSystemTrayAvailable());
    PostLoadInit();
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        p->ReadDir();
        p->LocateCursor();
        p->DrawList();
    }
    CreateHotDrives();
    // A stick plugged in later gets its button; the worker only asks the GUI thread.
    mountWatcher_.start([this] {
        QMetaObject::invokeMethod(
            this, [this] { CreateHotDrives(); }, Qt::QueuedConnection);
    });
    Load_Language();
    TimerMainTimer();
    SetActive("Left", LeftPanel, "Show");
    // Both panels watch their folders from the start; the prompt shows the left one.
    ChangeFolderEv("Right");
    ChangeFolderEv("Left");
    // Enabled rules may look at the panels, so only once they exist.
    mainMenu_->refreshEnabled();
    ComLine->setFocus();
    qApp->installEventFilter(this);
    // Said once the window is up; the start goes on with the defaults meanwhile.
    if (!startNotices_.empty())
        QTimer::singleShot(0, this, [this] {
            std::string text;
            for (const std::string& n : startNotices_) text += (text.empty() ? "" : "\n\n") + n;
            QMessageBox::warning(this, QStringLiteral("Korvalen"), QString::fromStdString(text));
        });
}

void TForm1::loadPlugins() {
    QMenu* pluginMenu = menu("Plugin1");
    for (const auto& folder : options_.pluginFolders) {
        for (const auto& file : collectPluginFiles(folder)) {
            std::string why;
            auto plugin = TTestPlugIn::load(file, platform::programModuleHandle(), &why);
            if (!plugin) {
                pluginErrors_.push_back(why);
                continue;
            }
            pluginMenu->menuAction()->setVisible(true);
            const size_t tag = plugins_.size();
            QAction* item = pluginMenu->addAction(QString::fromStdString(plugin->Name));
            item->setData(static_cast<int>(tag));
            const std::string id = "plugin." + std::to_string(tag);
            commands_.add(id, [tag](TForm1& f) { f.plugins_[tag]->InsertText(); });
            connect(item, &QAction::triggered, this, [this, id] { runCommand(id); });
            plugins_.push_back(std::move(plugin));
        }
    }
}

void TForm1::Super_Global() {
    // The players belong to the music commands; the tray icon starts off.
    if (RxTrayIcon1) RxTrayIcon1->setVisible(false);
    qApp->setApplicationName(QStringLiteral("Korvalen"));
    qApp->setWindowIcon(windowIcon());
    // kv.ini and kv_rus.ini: found once, kept as paths for the whole run.
    if (std::string why = kvLanguage().Open(FindKvRusIni(iniPath_)); !why.empty())
        startNotices_.push_back("The language file was not read: " + why);
}

void TForm1::FilePanels_Init() {
    cfg_.Main.Active = "Left";
    const std::string start = options_.startFolder.empty() ? currentDirectory() : options_.startFolder;
    QWidget* client = centralWidget();
    LeftPanel = new TFPanel(client);
    RightPanel = new TFPanel(client);
    LeftPanel->Side = "Left";
    RightPanel->Side = "Right";
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        p->setGeometry(20, 40, 250, 270);
        p->SetDefaults();
        p->CurDir = start;
        p->show();
        const bool left = p == LeftPanel;
        p->OnChangeActive = [this, left](const std::string& style) {
            left ? ActiveLeft(style) : ActiveRight(style);
        };
        p->OnFileEnter = [this](const std::string& f) { File_Work(f); };
        p->OnChangeDrive = [this](const std::string& side) { ChangeDrive(side); };
        p->OnChangePos = [this](int index) { ChangeFilePos(index); };
        p->OnChangeFolder = [this](const std::string& side) { ChangeFolderEv(side); };
        p->OnAddFileHistory = [this](const std::string& text) { AddFileToHistory(text); };
        p->OnNotice = [this](const std::string& text) {
            QMessageBox::information(this, QStringLiteral("Information"), QString::fromStdString(text));
        };
        p->Launch = [this](const std::string& file, const std::string& dir, std::string& error) {
            return launchFromPanel(*this, file, dir, error);
        };
        p->OnLaunchError = [this](const std::string& text) {
            QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(text));
        };
    }
    LeftPanel->Active = 1;
    RightPanel->Active = 0;
    attachMusic(*this);  // the players, the volume controller and the music timer
}

TMainFormBounds TForm1::outerBounds() const {
    // Maximised, the normal bounds are kept; they are the client's, so the frame's offset
    // is taken off to get the position move() takes.
    const QRect client = isMaximized() ? normalGeometry() : geometry();
    const QPoint frameOffset = geometry().topLeft() - pos();
    const QPoint at = isMaximized() ? client.topLeft() - frameOffset : pos();
    const int menuHeight = menuBar()->sizeHint().height();
    TMainFormBounds b;
    b.Left = at.x();
    b.Top = at.y();
    b.Width = client.width() + kOldFrameWidth;
    b.Height = client.height() - menuHeight + kOldFrameHeight;
    b.Maximized = isMaximized();
    return b;
}

void TForm1::applyWindowBounds() {
    const auto& b = cfg_.MainForm;
    if (b.Maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    std::vector<QRect> screens;
    for (QScreen* s : QGuiApplication::screens()) screens.push_back(s->availableGeometry());
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect outer = placeOnScreens(QRect(b.Left, b.Top, b.Width, b.Height), screens,
                                       primary ? primary->availableGeometry() : QRect());
    // A hand-edited size below a usable minimum would leave no room for the panels.
    const int menuHeight = menuBar()->sizeHint().height();
    move(outer.topLeft());
    resize(std::max(outer.width() - kOldFrameWidth, 200),
           std::max(outer.height() - kOldFrameHeight + menuHeight, 150));
}

void TForm1::applyBarVisibility() {
    StatusBar1->setVisible(cfg_.Main.Show_StatusBar);
    // A hidden tool bar also hides the drive bars under it.
    topStripHeight_ = 56;
    if (!cfg_.Main.Show_DriveBar) topStripHeight_ = 29;
    if (!cfg_.Main.Show_ToolBar) topStripHeight_ = 0;
    FormResize();
}

void TForm1::PostLoadInit() {
    // WinType is "WinNT" here, so the panels keep their 20 ms auto-scroll.
    if (cfg_.Main.WinType != "WinNT")
        for (TFPanel* p : {LeftPanel, RightPanel}) p->TimerDown->setInterval(1);
    const bool onTop = windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    if (onTop != cfg_.Main.OnTop) setWindowFlag(Qt::WindowStaysOnTopHint, cfg_.Main.OnTop);
    cfg_.FilesPanel.Panel_Width = outerWidth() / 2 - cfg_.Main.Main_Splitter;
    // The loaded font and Length give the header and status heights (25 and 38 for
    // Length 8, else 2 and 4 times Length), the size and date column widths, and the
    // scroll bar's height (11 when shown).
    for (TFPanel* p : {LeftPanel, RightPanel}) p->ApplyFont();
    applyBarVisibility();
}

// --- regions and layout ----------------------------------------------------------

void TForm1::buildRegions() {
    auto* client = new ClientArea(this);
    client->setAttribute(Qt::WA_OpaquePaintEvent);
    setCentralWidget(client);

    Panel3 = new QWidget(client);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setAutoFillBackground(true);
    ToolBar = new QWidget(Panel3);
    ToolBar->setObjectName(QStringLiteral("ToolBar"));
    ToolBar->setGeometry(0, 0, 4000, 29);
    struct Tool {
        const char* name;
        const char* hint;
        const char* command;
    };
    const Tool tools[8] = {{"RxSpeedButton2", "Information", "help.information"},
                           {"RxSpeedButton3", "NotePad", "tools.notepad"},
                           {"RxSpeedButton4", "SysInfo", "utils.systemInfo"},
                           {"RxSpeedButton5", "Internet", "utils.dialer"},
                           {"RxSpeedButton6", "Clipboard", "utils.clipboard"},
                           {"RxSpeedButton7", "CD-Player", "utils.cdPlayer"},
                           {"RxSpeedButton8", "Calculator", "utils.calculator"},
                           {"RxSpeedButton9", "Resource Explorer", "utils.resourceExplorer"}};
    for (int i = 0; i < 8; ++i) {
        auto* b = new QToolButton(ToolBar);
        b->setObjectName(QString::fromLatin1(tools[i].name));
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIcon(QIcon(toolPicture(i)));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(QString::fromLatin1(tools[i].hint));
        b->setGeometry(3 + 25 * i, 3, 25, 23);
        b->setProperty("command", QString::fromLatin1(tools[i].command));
        connect(b, &QToolButton::clicked, this,
                [this, id = std::string(tools[i].command)] { runCommand(id); });
        SpeedButtons[static_cast<size_t>(i)] = b;
    }
    DriveBarLeft = new TMyToolBar("Left", Panel3);
    DriveBarRight = new TMyToolBar("Right", Panel3);

    Panel_Down = new QWidget(client);
    Panel_Down->setObjectName(QStringLiteral("Panel_Down"));
    Panel_Down->setAutoFillBackground(true);
    Panel_Dos = new QFrame(Panel_Down);
    Panel_Dos->setObjectName(QStringLiteral("Panel_Dos"));
    static_cast<QFrame*>(Panel_Dos)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    QPalette black = Panel_Dos->palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::Base, Qt::black);
    black.setColor(QPalette::WindowText, Qt::white);
    black.setColor(QPalette::Text, Qt::white);
    Panel_Dos->setPalette(black);
    Panel_Dos->setAutoFillBackground(true);
    ComRead = new QLabel(Panel_Dos);
    ComRead->setObjectName(QStringLiteral("ComRead"));
    ComRead->setFont(promptFont());
    ComRead->setPalette(black);
    ComLine = new QLineEdit(Panel_Dos);
    ComLine->setObjectName(QStringLiteral("ComLine"));
    ComLine->setFont(promptFont());
    ComLine->setPalette(black);
    ComLine->setFrame(false);

    HotKeyBox = new QWidget(Panel_Down);
    HotKeyBox->setObjectName(QStringLiteral("HotKeyBox"));
    HotKeyBox->setAutoFillBackground(true);
    static const char* captions[7] = {"2-Menu",   "3-View",  "4-Edit",  "5-Copy",
                                      "6-Rename", "7-MkDir", "8-Delete"};
    static const char* names[7] = {"F2", "F3", "F4", "F5", "F6", "F7", "F8"};
    // The commands of the File menu's first seven items.
    static const char* keyCommands[7] = {"file.userMenu", "file.view",       "file.edit",  "file.copy",
                                         "file.rename",   "file.makeFolder", "file.delete"};
    for (int i = 0; i < 7; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(captions[i]), HotKeyBox);
        b->setObjectName(QString::fromLatin1(names[i]));
        b->setFocusPolicy(Qt::NoFocus);
        b->setProperty("command", QString::fromLatin1(keyCommands[i]));
        connect(b, &QPushButton::clicked, this, [this, id = std::string(keyCommands[i])] { runCommand(id); });
        HotKeys[static_cast<size_t>(i)] = b;
    }

    StatusBar1 = new QFrame(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    static_cast<QFrame*>(StatusBar1)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->setAutoFillBackground(true);
    Label2 = new QLabel(StatusBar1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label1 = new QLabel(QStringLiteral("Wave volume"), StatusBar1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Panel5 = new QFrame(StatusBar1);
    Panel5->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    VolBar = new QProgressBar(StatusBar1);
    VolBar->setObjectName(QStringLiteral("VolBar"));
    VolBar->setRange(0, 100);
    VolBar->setValue(0);
    VolBar->setTextVisible(false);
    JobsIndicator = new TJobsIndicator(StatusBar1);

    auto* searchFrame = new QFrame(client);
    PanelSearch = searchFrame;
    PanelSearch->setObjectName(QStringLiteral("PanelSearch"));
    // A raised strip of its own colour, so it reads over the panel's list.
    searchFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    searchFrame->setAutoFillBackground(true);
    searchFrame->setBackgroundRole(QPalette::Button);
    auto* searchLayout = new QHBoxLayout(PanelSearch);
    searchLayout->setContentsMargins(4, 2, 4, 2);
    searchLayout->addWidget(new QLabel(QStringLiteral("  Search"), PanelSearch));
    Edit1 = new QLineEdit(PanelSearch);
    searchLayout->addWidget(Edit1);
    PanelSearch->hide();
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString& t) { FastFind(t); });
    // The search ends when anything else takes the focus (a menu opened with its Alt letter,
    // a dialog, a click into the command line).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && now != Edit1 && PanelSearch->isVisible()) runCommand("fastfind.close");
    });

    ComList = new QListWidget(client);
    ComList->hide();
    Console = new TCommandConsole(this);

    TimerMain = new QTimer(this);
    TimerMain->setInterval(500);
    connect(TimerMain, &QTimer::timeout, this, &TForm1::TimerMainTimer);
    TimerMain->start();
    Timer3 = new QTimer(this);
    Timer3->setInterval(100);

    buildTray();
    installBarMouseHandlers(*this);
}

void TForm1::FormResize() {
    if (!centralWidget() || !LeftPanel) return;
    QWidget* client = centralWidget();
    MainLayoutInput in;
    in.outerWidth = outerWidth();
    in.clientWidth = client->width();
    in.clientHeight = client->height();
    in.splitter = cfg_.Main.Main_Splitter;
    in.topStripHeight = topStripHeight_;
    in.statusBarVisible = StatusBar1->isVisible() || (!isVisible() && cfg_.Main.Show_StatusBar);
    in.promptWidth = promptWidth();
    layout_ = computeMainLayout(in);

    Panel3->setGeometry(layout_.panel3);
    Panel3->setVisible(layout_.panel3.height() > 0);
    LeftPanel->setGeometry(layout_.leftPanel);
    RightPanel->setGeometry(layout_.rightPanel);
    Panel_Down->setGeometry(layout_.panelDown);
    Panel_Dos->setGeometry(layout_.panelDos);
    fitCommandLine();
    HotKeyBox->setGeometry(layout_.hotKeyBox);
    for (size_t i = 0; i < HotKeys.size(); ++i) HotKeys[i]->setGeometry(layout_.functionKeys[i]);
    StatusBar1->setGeometry(layout_.statusBar);

    // Status bar: Label1 right-aligned with 12 px to spare, VolBar 9 px left of it,
    // Panel5 12 px left of VolBar, Label2 from x = 3.
    const int sh = layout_.statusBar.height();
    const int label1W = Label1->sizeHint().width();
    Label1->setGeometry(layout_.statusBar.width() - 12 - label1W, 2, label1W, sh - 4);
    VolBar->setGeometry(Label1->x() - 9 - 150, 4, 150, sh - 8);
    Panel5->setGeometry(VolBar->x() - 12, 2, 2, sh - 4);
    const int jobsW = JobsIndicator->sizeHint().width();
    JobsIndicator->setGeometry(Panel5->x() - 6 - jobsW, 1, jobsW, sh - 2);
    Label2->setGeometry(3, 2, std::max(0, Panel5->x() - 6), sh - 4);  // the indicator lies on top
    if (quickViewHost_) followQuickView();

    // Drive bars: the right one follows the right panel; the left one ends before the
    // left panel's right edge, or grows back to its full width when there is room.
    DriveBarRight->move(layout_.rightPanel.left() + 5, 32);
    DriveBarRight->resize(DriveBarRight->fullWidth(), TMyToolBar::kBarHeight);
    DriveBarLeft->move(3, 32);
    const int leftLimit = layout_.leftPanel.right() - 1 - DriveBarLeft->x();
    DriveBarLeft->resize(std::max(0, std::min(DriveBarLeft->fullWidth(), leftLimit)), TMyToolBar::kBarHeight);

    placeQuickSearch();

    const QRect& s = layout_.splitRect;
    cfg_.FilesPanel.SplitRect = {s.left(), s.top(), s.right() + 1, s.bottom() + 1};
    // Both panels ignore drag moves over the gap (their parent is the client area, the
    // rectangle's frame too).
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        p->SplitLeft = cfg_.FilesPanel.SplitRect.Left;
        p->SplitRight = cfg_.FilesPanel.SplitRect.Right;
    }
    client->update();
}

int TForm1::promptWidth() const {
    return QFontMetrics(ComRead->font()).horizontalAdvance(promptText_) + ComRead->margin() * 2 + 4;
}

void TForm1::fitCommandLine() {
    // The prompt gives way in a deep folder: shortened in the middle, so the command line
    // keeps a third of the strip and what is typed stays in sight.
    const int left = promptRoom(promptWidth(), layout_.panelDos.width());
    layout_.comRead.setWidth(left);
    layout_.comLine =
        QRect(left, 0, std::max(0, layout_.panelDos.width() - left - 2), layout_.comLine.height());
    const QFontMetrics fm(ComRead->font());
    ComRead->setText(fm.horizontalAdvance(promptText_) + 4 <= left
                         ? promptText_
                         : fm.elidedText(promptText_, Qt::ElideMiddle, std::max(0, left - 4)));
    ComRead->setToolTip(promptText_);
    ComRead->setGeometry(layout_.comRead.translated(2, 1));
    ComLine->setGeometry(layout_.comLine.translated(2, 1).adjusted(0, 0, -2, 0));
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && centralWidget()) centralWidget()->update();
}

void TForm1::CreateHotDrives() {
    const auto drives = platform::listDrives();
    for (TMyToolBar* bar : {DriveBarLeft, DriveBarRight}) {
        bar->setDrives(drives);
        bar->OnDriveClick = [this](const std::string& side, const std::string& mount) {
            DriveBarClick(side, mount);
        };
    }
    FormResize();
}

// --- the active panel ------------------------------------------------------------

void TForm1::SetActive(const std::string& side, TFPanel* /*panel*/, const std::string& mode) {
    if (side == "Left") {
        cfg_.Main.Active = "Left";
        LeftPanel->Active = 1;
        RightPanel->Active = 0;
        RightPanel->HideCursor();
    } else if (side == "Right") {
        cfg_.Main.Active = "Right";
        RightPanel->Active = 1;
        LeftPanel->Active = 0;
        LeftPanel->HideCursor();
    } else {
        return;
    }
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        p->DrawFrame("Fon_False");
        p->DrawList();
        p->LocateCursor();
        p->SetForce();
        if (mode == "Show") p->DrawCursor();
    }
    followQuickView();  // the preview goes to the side that is passive now
}

void TForm1::ActiveLeft(const std::string& style) {
    if (style == "Active") SetActive("Left", LeftPanel, "");
}

void TForm1::ActiveRight(const std::string& style) {
    if (style == "Active") SetActive("Right", RightPanel, "");
}

void TForm1::ChangeFolderEv(const std::string& side) {
    TFPanel* p = panelOf(side);
    try {
        p->RestartMonitor();
    } catch (const std::exception& e) {
        Label2->setText(QString::fromStdString(e.what()));
    }
    // "/" is the root: no second slash.
    const std::string prompt = p->CurDir == "/" ? p->CurDir : p->CurDir + "/";
    promptText_ = QString::fromStdString(prompt);
    fitCommandLine();
}

void TForm1::changeFolder(TFPanel* p, const std::string& folder) {
    p->HideCursor();
    p->CurDir = folder;
    p->ReadDir();
    p->PosList = p->Bar_Pos = 0;
    p->LocateCursor();
    p->DrawList();
    p->DrawCursor();
    if (p->OnChangeFolder) p->OnChangeFolder(p->Side);
}

void TForm1::ChangeFilePos(int /*index*/) {
    // Only the quick view follows the active panel's cursor.
    followQuickView();
}

void TForm1::ChangeDrive(const std::string& side) {
    TFormDrive::instance(*this).showFor(side == "Left" ? "Left" : "Right", false);
}

void TForm1::AddFileToHistory(const std::string& text) {
    History.add(text);
    ComList->addItem(QString::fromStdString(text));
}

QStringList TForm1::history() const {
    QStringList out;
    for (const auto& h : History.items()) out << QString::fromStdString(h);
    return out;
}

void TForm1::File_Work(const std::string& fileName) {
    // A folder under the active panel's cursor gets its size, whatever file was named.
    TFPanel* p = activePanel();
    const bool folder = p->CurIsDir != 0;
    // Fifos, sockets and devices are never opened: a fifo would block the window until
    // some writer came, a device could be read without end.
    if (!folder) {
        if (const std::string_view kind = specialKindAt(fileName); !kind.empty()) {
            Label2->setText(QString::fromStdString(
                specialNotOpened(kind, std::filesystem::path(fileName).filename().string())));
            return;
        }
    }
    const FileWorkKind kind = folder ? FileWorkKind::FolderSize : fileWorkKindOf(fileName);
    if (!fileWork_.run(kind, *this, folder ? p->CurPath : fileName))
        Label2->setText(QString::fromUtf8(fileWorkKindName(kind).data(),
                                          static_cast<qsizetype>(fileWorkKindName(kind).size())) +
                        QStringLiteral(" is not available yet"));
}

void TForm1::Update_AllPanels() {
    // Each panel re-reads its folder, drops the selection and keeps the cursor's index,
    // clamped to the new listing.
    for (TFPanel* p : {LeftPanel, RightPanel}) p->RefreshDir();
}

void TForm1::TimerMainTimer() {
    if (!ReadVolume) return;
    const QString channelName = Label1->text();
    const int channel = channelName == QLatin1String("Midi volume")      ? 2
                        : channelName == QLatin1String("AudioCD volume") ? 0
                                                                         : 1;
    if (auto v = ReadVolume(channel)) VolBar->setValue(qRound(*v / 255.0 * 100));
}

void TForm1::Load_Language() {
    const std::string& lang = cfg_.Main.Language;
    if (IsEnglish(lang)) return;
    const TLanguage& texts = kvLanguage();
    static const char* english[7] = {"2-Menu",   "3-View",  "4-Edit",  "5-Copy",
                                     "6-Rename", "7-MkDir", "8-Delete"};
    for (size_t i = 0; i < HotKeys.size(); ++i)
        HotKeys[i]->setText(
            QString::fromStdString(texts.MainText(lang, "HotButtons", kHotButtonKeys[i], english[i])));
    mainMenu_->translate(texts, lang);
    // The panels' words; a key the file lacks keeps the English word, so no figure is
    // ever shown without its unit.
    for (TFPanel* p : {LeftPanel, RightPanel}) {
        for (const auto& [key, field] : kPanelTextKeys)
            p->Texts.*field = texts.Read("Panel", key, p->Texts.*field);
        p->update();
    }
}

// --- shutdown --------------------------------------------------------------------

bool TForm1::FormCloseQuery() {
    if (!cfg_.Confirm.Exit) return true;
    // Always in English.
    return QMessageBox::question(this, QStringLiteral("Confirm"),
                                 QStringLiteral("Do you want to quit Korvalen ?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool TForm1::StopJobsQuery() {
    JobQueue& jobs = JobQueue::instance();
    const int n = jobs.count();
    if (n == 0) return true;
    const QString text = n == 1 ? QStringLiteral("1 job is still running. Stop it and quit?")
                                : QStringLiteral("%1 jobs are still running. Stop them and quit?").arg(n);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("StopJobs"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) return false;
    // Each job removes its unfinished target as it stops; quit only once all have.
    jobs.cancelAll();
    jobs.waitAll();
    return true;
}

void TForm1::FormClose() {
    cfg_.MainForm = outerBounds();
    for (;;) {
        auto r = Save_INI(iniPath_, cfg_, *LeftPanel, *RightPanel);
        if (r) break;
        // The old file is untouched; the user may free the folder and retry.
        const std::string text = r.detail.empty() ? r.message : r.message + "\n" + r.detail;
        auto answer = QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(text),
                                            QMessageBox::Retry | QMessageBox::Close, QMessageBox::Retry);
        if (answer != QMessageBox::Retry) break;
    }
    mountWatcher_.stop();
    for (TFPanel* p : {LeftPanel, RightPanel})
        if (p->Monitor && p->Monitor->Running()) p->Monitor->Stop();
    if (RxTrayIcon1) RxTrayIcon1->hide();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->accept();
        return;
    }
    // Yes to stopping the jobs already says to quit: no second question.
    const bool jobsAsked = JobQueue::instance().count() > 0;
    if (!StopJobsQuery()) {
        event->ignore();
        return;
    }
    if (!jobsAsked && !FormCloseQuery()) {
        event->ignore();
        return;
    }
    closing_ = true;
    FormClose();
    event->accept();
}

}  // namespace kv

namespace kv {

void TForm1::buildTray() {
    RxTrayIcon1 = new QSystemTrayIcon(korvalenIcon(), this);
    RxTrayIcon1->setToolTip(QStringLiteral("Korvalen"));
    PopupMenu1 = new TTrayMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QStyle* st = style();
    // PopupImg: one picture for each of the tags 1..4.
    const QIcon pictures[4] = {korvalenIcon(), st->standardIcon(QStyle::SP_DialogHelpButton),
                               st->standardIcon(QStyle::SP_MessageBoxInformation),
                               st->standardIcon(QStyle::SP_DialogCloseButton)};
    auto add = [&](const QString& text, int tag, const char* command) {
        QAction* a = PopupMenu1->addAction(text);
        a->setData(tag);
        a->setProperty("command", QString::fromLatin1(command));
        if (tag >= 1 && tag <= 4) a->setIcon(pictures[tag - 1]);
        connect(a, &QAction::triggered, this, [this, id = std::string(command)] { runCommand(id); });
        return a;
    };
    PopupMenu1->setDefaultAction(add(QStringLiteral("Korvalen"), 1, "window.restore"));
    add(QStringLiteral("Help contents"), 2, "help.information");
    add(QStringLiteral("About program"), 3, "help.about");
    PopupMenu1->addSeparator();
    add(QStringLiteral("Configuration"), 0, "config.mainOptions");
    add(QStringLiteral("System Info"), 0, "utils.systemInfo");
    add(QStringLiteral("View clipboard"), 0, "utils.clipboard");
    PopupMenu1->addSeparator();
    add(QStringLiteral("Exit"), 4, "app.exit");
    RxTrayIcon1->setContextMenu(PopupMenu1);
    connect(RxTrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
        if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick)
            runCommand("window.restore");
    });
}

}  // namespace kv
