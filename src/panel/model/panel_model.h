#pragma once
// The data side of one file panel: the folder shown, its listing, the cursor, the
// saved-position stack and the panel's events. No Qt: the TFPanel widget paints it and
// TPanelController moves its cursor, and both are tested without a window.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "panel/model/directory.h"
#include "panel/model/panel_settings.h"

namespace kv {

class TArchiveFolders;

class TFPanelModel : public TFPanelSettings {
public:
    TFPanelModel();
    virtual ~TFPanelModel();

    // Identity and state.
    std::string Side = "Left";  // "Left" or "Right"
    std::uint8_t Active = 0;
    std::string CurDir = "/";  // no trailing "/" except for the root itself
    TDirectory FL;
    int FilesCount = 0;          // entries of FL, ".." included
    int PosList = 0;             // 0-based index of the first entry shown
    int Bar_Pos = 0;             // cursor offset from PosList
    int CurCol = 1, CurRow = 1;  // 1-based cursor cell
    int Rows = 17;               // entries per column, set by the layout

    // The entry under the cursor, published by publishCurrent().
    std::string CurFile;
    std::string CurPath;
    std::uint8_t CurIsDir = 0;
    std::int64_t CurSize = 0;
    int CurIndex = 0;  // 1-based

    std::int64_t FreeSpace = 0;  // free bytes on the panel's file system

    // Layout metrics in pixels. The main window sets HeaderHeight, InfoHeight,
    // ScrollHeight, SizeWidth and DateWidth (from Length and the font); computeLayout
    // derives the rest from the panel's size at every paint.
    int HeaderHeight = 25;
    int InfoHeight = 38;
    int ScrollHeight = 11;
    int ListHeight = 0;
    int X0 = 3, X1 = 0, Y0 = 25, Y1 = 0;
    int ColWidth = 1, CellWidth = 1, LineHeight = 16;
    int NameRight = 0, SizeWidth = 60, DateWidth = 76, TimeWidth = 0;
    int ThumbPos = 2;

    // Recomputes the derived metrics and Rows for a panel of w x h pixels. Values from a
    // hand-edited kv.ini never give less than one row or a zero column width.
    void computeLayout(int w, int h);

    // Saved-position stack: entering a folder pushes (Bar_Pos, PosList), leaving pops.
    // It grows as deep as the folders go; popping an empty stack puts the cursor on
    // the first entry and leaves TreePos at 0.
    int TreePos = 0;
    std::vector<int> SavedBarPos;  // index 1..TreePos, element 0 unused
    std::vector<int> SavedPosList;

    // Events; each may be left empty.
    std::function<void(const std::string& Style)> OnChangeActive;     // always "Active"
    std::function<void(const std::string& FileName)> OnFileEnter;     // CurPath
    std::function<void(const std::string& CallPanel)> OnChangeDrive;  // Side
    std::function<void(int Index)> OnChangePos;                       // CurIndex
    std::function<void(const std::string& Style)> OnChangeFolder;     // Side
    std::function<void(const std::string& FN)> OnAddFileHistory;      // CurFile
    // A notice for the user (the widget shows it in a message box).
    std::function<void(const std::string& text)> OnNotice;
    // A file could not be started; the text says what and why.
    std::function<void(const std::string& text)> OnLaunchError;
    // Opens a file; defaults to platform::ExecuteFile. Tests replace it.
    std::function<bool(const std::string& file, const std::string& workDir, std::string& error)> Launch;

    // Every setting to its default; Style by Side; cursor, stack and folder reset.
    void SetDefaults();

    // Reads CurDir into FL (drops the selection) and updates FilesCount and FreeSpace.
    // Does not move the cursor; callers clamp or reset it. The widget reads big folders
    // on a worker instead (ListingPending is set until the listing is in).
    virtual void ReadDir();
    // ReadDir, always at once on the calling thread.
    void ReadDirNow();
    // Takes a listing read elsewhere (for CurDir) as FL; updates FilesCount and FreeSpace.
    void InstallListing(TDirectory&& listing);
    // Asks the panel's file system for its free space (on a worker, with a time limit).
    void UpdateFreeSpace();
    // A listing of CurDir is being read: FL holds ".." alone (or the previous listing of
    // the same folder) and clampCursor leaves the cursor where the caller put it, so it
    // can land there when the entries are in.
    bool ListingPending = false;

    // The cursor's entry and the selected names, to find again in another listing.
    struct CursorAnchor {
        std::string name;
        std::vector<std::string> selected;
    };
    CursorAnchor anchor(bool withSelection) const;
    // The cursor on the anchor's entry (on the same screen row when it can stay there),
    // else the old index clamped; the anchor's names selected again.
    void restoreAnchor(const CursorAnchor& a);
    // Brings FL up to date with names that changed on disk, by their state now, entry by
    // entry; the cursor stays on its entry and every entry keeps its selection. False when
    // only a full re-read gives the exact listing (nothing changed then).
    bool ApplyChanges(const std::vector<std::string>& names);

    // Columns as the layout uses them: 1 in style 3, never below 1.
    int columns() const;
    // Entries on one page.
    int pageSize() const;
    int rows() const { return Rows < 1 ? 1 : Rows; }
    // 1-based listing index of the cursor entry.
    int cursorIndex() const { return Bar_Pos + PosList + 1; }

    // Keeps Bar_Pos and PosList on an existing entry and inside the page.
    void clampCursor();
    // The cursor on entry `index` (1-based) as the panel's own moves put it: the page stays
    // when the entry is on it, otherwise the page ends with the entry. CurCol and CurRow follow.
    void putCursorOn(int index);
    // Sets CurFile, CurPath, CurIsDir, CurSize, CurIndex from the cursor.
    void publishCurrent();
    // CurCol and CurRow from Bar_Pos.
    void locateCursor();

    // Path of an entry shown in CurDir.
    std::string pathOf(const std::string& fileName) const;
    // CurDir without its last component ("/" stays "/").
    static std::string parentOf(const std::string& dir);
    static std::string normalizeDir(std::string dir);

    // Enter on the entry under the cursor (nothing in style 2). Returns true when the
    // folder changed (the caller redraws the whole list).
    bool EnterItem();
    // Leaves the folder for its parent and restores the cursor from the stack. At the
    // root only the cursor goes to the first cell of the page. True when the folder changed.
    bool GoParent();
    // Re-read after a change on disk by another program: the cursor stays on its entry (by
    // name) and the entries still there stay selected; when the cursor's entry is gone, the
    // cursor keeps its index, clamped. The program's own re-reads (RefreshDir) keep the index.
    void DirChanged();
    // The watched folder vanished: go to the nearest parent that still exists.
    void FolderGone();

    void PushPosition();
    void PopPosition();

    // The archives the panel is inside: Enter on an archive opens it as a folder, and
    // CurDir goes on with the folders inside it. Leaving it by any way (its "..", a new
    // folder) lets it go.
    TArchiveFolders& Archive() { return *archive_; }
    const TArchiveFolders& Archive() const { return *archive_; }
    // CurDir is a folder inside an archive.
    bool InArchive() const;
    // The folder inside the innermost archive ("" its top); empty outside archives.
    std::string ArchiveInner() const;
    // The nearest real folder: CurDir, or the folder of the outermost archive.
    std::string DiskFolder() const;
    // Lists CurDir from the archive it is in, keeping the cursor on its entry and the
    // selection when keepNames; false (nothing done) when CurDir is not in an archive.
    bool ReadArchiveDir(bool keepNames);
    // Lists the archive again after it changed, keeping the cursor's entry; leaves it for
    // its folder when it is gone.
    void ReloadArchive();

    // A found-files listing: CurDir stays the search's start folder and the entries are
    // paths relative to it ("sub/a.txt"). Re-reads keep this list, dropping what is gone,
    // instead of reading the folder; another folder, or "..", leaves it.
    void ShowFound(const std::string& dir, std::vector<std::string> relativeNames);
    bool ShowingFound() const { return !foundDir_.empty(); }
    void LeaveFound();
    // Lists the found names again when CurDir is the found listing's folder (keepNames:
    // the cursor's entry and the selection stay); false, and the list is let go, otherwise.
    bool ReadFoundDir(bool keepNames);

private:
    std::string foundDir_;
    std::vector<std::string> found_;
    bool EnterArchiveFile(const std::string& path);
    bool EnterArchiveEntry();
    void EnterOpenedArchive(const std::string& shown);
    std::unique_ptr<TArchiveFolders> archive_;  // behind a pointer: its header stays out of every panel user
};

}  // namespace kv
