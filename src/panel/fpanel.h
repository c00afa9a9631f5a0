#pragma once
// TFPanel: the file panel widget. It is a QWidget and, through TFPanelModel, carries
// every public field of the panel (Side, Active, Style, CurDir, CurFile, CurPath, Bar_Pos,
// PosList, FilesCount, FL, the settings of TFPanelSettings, the layout metrics), so the
// main window and the dialogs read and write them directly, then call the drawing or
// action methods below.
//
// Usage by the main window:
//   auto* p = new TFPanel(this); p->Side = "Left"; p->SetDefaults(); p->Active = 1;
//   p->OnChangeActive = ...; p->OnChangeFolder = ...;      (events of TFPanelModel)
//   p->CurDir = "/home/me"; p->ReadDir(); p->DrawList(); p->DrawCursor();
//   key handling: p->CursorDown(), p->PageRight(), p->EnterItem(), p->GoParent(), ...
//   after changing Font_* or Length: p->ApplyFont();
//   after a folder change (OnChangeFolder): p->RestartMonitor() (stop, point at CurDir, start).
//
// Drawing methods keep their old names; in Qt they schedule a repaint of what they name
// (the widget paints only the visible page, whatever the folder holds).
#include <QFont>
#include <QFontMetrics>
#include <QStringList>
#include <QElapsedTimer>
#include <QWidget>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "panel/dir_mon.h"
#include "panel/model/listing_job.h"
#include "panel/model/panel_controller.h"
#include "panel/model/panel_model.h"
#include "panel/panel_texts.h"

class QTimer;

namespace kv {

class TFPanel : public QWidget, public TFPanelModel {
    Q_OBJECT
public:
    explicit TFPanel(QWidget* parent = nullptr);
    ~TFPanel() override;

    // Watches CurDir; its change event runs DirChanged. Started by RestartMonitor.
    TDirMon* Monitor = nullptr;
    // The two auto-scroll timers (20 ms each); the main window may change the
    // downward timer's interval.
    QTimer* TimerDown = nullptr;
    QTimer* TimerUp = nullptr;
    // Colours the colours dialog edits but kv.ini does not keep.
    TColorRef HeaderTextColor = 0xFFFFFF;  // current folder in the header
    TColorRef SizeDateColor = 0x00FF00;    // size and date in the status strip
    // The other panel, for the information view (it describes the active panel's
    // file system). May stay null: the active panel among the siblings is used.
    TFPanel* OtherPanel = nullptr;
    // The splitter gap in the parent's coordinates; mouse moves over it are ignored.
    int SplitLeft = -1, SplitRight = -1;
    // The words of the status strip and the information view, in the user's language.
    TPanelTexts Texts;

    TPanelController& Controller() { return controller_; }

    // The size column's text for an entry in the given font and room (pixels):
    // "<UP>", "<Folder>" or a scanned folder's size, else the bytes as a plain number,
    // or in Kb/Mb when the number would not fit whole.
    QString SizeText(const TDirEntry& e, const QFont& font, int room) const;

    // The status strip's texts and where they start: the current entry's name, size and
    // date on the first line; the free space and the selection totals (number, " bytes
    // in ", number, " files") on the second. Texts that would run into each other are
    // shortened.
    struct StatusStrip {
        QString name, size, date, free;
        QStringList totals;
        int nameX = 6, sizeX = 6, dateX = 0, totalsX = 0;
    };
    StatusStrip StatusTexts(const QFontMetrics& fm) const;
    // A name as its cell shows it: the shown name and its kind mark (file_kinds.h), the
    // name ending in "…" when both do not fit in `room` pixels (the mark stays).
    static QString CellName(const TDirEntry& e, const QFontMetrics& fm, int room, bool* shortened = nullptr);
    // The tooltip at a panel point: the whole name (and a link's target) when the cell
    // there shows its name shortened; empty otherwise.
    QString NameToolTip(const QPoint& at) const;

    // Model defaults plus the canvas font and the drawing metrics.
    void SetDefaults();
    // Takes Font_Name/Font_Size/Font_Bold/Font_Italic/Length into the canvas font and
    // the metrics that depend on them (HeaderHeight, InfoHeight, SizeWidth, DateWidth,
    // ScrollHeight from Show_ScrollBar), then repaints.
    void ApplyFont();
    QFont CanvasFont() const { return font_; }

    // Drawing.
    void DrawFrame(const std::string& mode);  // "Fon_True" or "Fon_False"
    void DrawList();
    void DrawCursor();  // publishes the current entry (CurFile, CurPath, ...) too
    void HideCursor();
    void LocateCursor();
    void DrawStatus(const std::string& what);  // "All" or "File"
    void DrawInfo();
    // Shows Bar_Pos, PosList, FL.FilesCount and TreePos until the next repaint.
    void ShowDiagnostics();
    // The next click redraws the cursor even on the same cell.
    void SetForce() { controller_.setForce(); }

    // Actions (the key map of the main window calls these on the active panel).
    void CursorUp();
    void CursorDown();
    void PageRight();
    void PageLeft();
    void CursorHome();
    void CursorEnd();
    void EnterItem();
    void GoParent();
    void ToggleSelect();
    void InvertSelection();
    void ToggleHidden();
    // Re-read and redraw: drops the selection, keeps the cursor index (clamped). Like
    // ReadDir, at once for all but big folders; RefreshDirNow always at once.
    void RefreshDir();
    void RefreshDirNow();
    // Reads CurDir. A folder of up to kInlineNames names is read at once, as before; a
    // bigger one is read on a worker: a new folder shows ".." alone and "Reading... N
    // entries" (ListingPending) until its sorted listing is in, then the cursor lands
    // where the caller put it; a re-read of the folder shown keeps the old listing until
    // then. The first read also starts the monitor on the folder, as a new panel watches
    // its folder from the start; after that only RestartMonitor (the main window's folder
    // event) re-points it.
    void ReadDir() override;
    static constexpr std::size_t kInlineNames = 4000;
    // A read on the worker is going on.
    bool Reading() const { return job_ != nullptr; }
    // Esc while reading: stops the read (the panel keeps ".." alone, or the old listing
    // of the same folder). False when nothing was being read.
    bool CancelRead();
    // Full re-read keeping the cursor on its entry and the selection (after a lost
    // event queue, or when the monitor's changes cannot be placed exactly).
    void DirChanged();
    // What the monitor made the panel do, for the benchmark and the tests.
    struct MonitorStats {
        int fullRereads = 0;
        int batches = 0;        // incremental updates applied
        std::size_t names = 0;  // names in them
    };
    const MonitorStats& Stats() const { return stats_; }
    // Stop the monitor if running, point it at CurDir, start it (not while it is held).
    void RestartMonitor();
    // A running file job holds the monitor stopped, so the panel is not re-read file by file
    // while the job writes; the last release starts it again on CurDir.
    void HoldMonitor();
    void ReleaseMonitor();
    // After a new entry was made: the cursor on `name` (the first entry when there is none
    // of that name), scrolled into view when it lies beyond the page.
    void PlaceCursorOn(const std::string& name);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    // The wheel moves the cursor three entries per notch, as users of other file
    // managers expect; it does not make the panel active.
    void wheelEvent(QWheelEvent* e) override;
    bool event(QEvent* e) override;  // tooltips of shortened names

private:
    enum class ReadMode { NewFolder, KeepIndex, KeepNames };
    void startRead(ReadMode mode);
    void onListingReady(quint64 generation);
    void queueChanges(std::vector<platform::NameChange>&& names);
    void flushChanges();
    bool blockedByRead() const { return ListingPending; }
    void apply(Repaint r);
    // Metrics from the current size, with the cursor kept inside the page.
    void layoutNow();
    void syncTimers();
    QRect cellRect(int cell) const;
    void paintFrame(class QPainter& p);
    void paintCells(QPainter& p, const QRect& area);
    void paintCell(QPainter& p, int cell, bool bar);
    void paintStatus(QPainter& p);
    void paintIndicator(QPainter& p);
    void paintInfo(QPainter& p);
    void paintDiagnostics(QPainter& p);
    QColor nameColor(const TDirEntry& e) const;

    struct InfoFigures {
        std::chrono::steady_clock::time_point taken;
        std::string dir, mount, label, uuid;
        std::int64_t total = 0, free = 0, memKb = 0, swap = 0;
        int load = 0;
    };
    std::optional<InfoFigures> info_;

    TPanelController controller_;
    QFont font_;
    QFont fixedFont_;
    bool diagnostics_ = false;
    bool monitorStarted_ = false;
    int monitorHolds_ = 0;
    // Reading on the worker.
    std::unique_ptr<TListingJob> job_;
    std::vector<std::unique_ptr<TListingJob>> retired_;  // cancelled, winding down
    ReadMode readMode_ = ReadMode::NewFolder;
    quint64 readGeneration_ = 0;
    bool readCancelled_ = false;
    QTimer* progressTimer_ = nullptr;
    // Monitor changes waiting for the next update (at most ten a second).
    std::vector<std::string> pendingNames_;
    std::unordered_set<std::string> pendingSet_;
    bool needFullRead_ = false;
    QTimer* changeTimer_ = nullptr;
    QElapsedTimer lastFlush_;
    MonitorStats stats_;
    int wheelRest_ = 0;  // wheel movement below one notch, kept for the next event
    // Cells whose name the last paint shortened: the entry and the name's rectangle.
    struct ShortenedName {
        int index = 0;
        QRect rect;
    };
    std::vector<ShortenedName> shortened_;
    void noteName(int cell, int index, const QRect& rect, bool shortened);
    // Draws the parent entry's arrow at the left of its name; returns the width it took.
    int paintParentMark(QPainter& p, const QRect& nameRect) const;
};

// NameColor: the colour of a name by its extension (DirectoryColor when colours are off
// or the extension is not listed).
TColorRef NameColor(const std::string& name, const TFPanelSettings& s);

}  // namespace kv
