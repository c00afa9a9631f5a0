#include "panel/model/panel_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "panel/model/archive_folder.h"
#include "panel/model/file_kinds.h"
#include "platform/dir_reader.h"
#include "platform/display_text.h"
#include "platform/drives.h"
#include "platform/launcher.h"

namespace kv {

namespace {

bool isDirectory(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TFPanelModel::~TFPanelModel() = default;

bool TFPanelModel::InArchive() const { return archive_->holds(CurDir); }

std::string TFPanelModel::ArchiveInner() const { return archive_->innerOf(CurDir); }

TFPanelModel::TFPanelModel() : archive_(std::make_unique<TArchiveFolders>()) {
    Launch = [](const std::string& file, const std::string& dir, std::string& error) {
        const auto r = platform::ExecuteFile(file, "", dir, 5);
        if (!r.ok) error = r.message;
        return r.ok;
    };
    SetDefaults();
}

void TFPanelModel::SetDefaults() {
    static_cast<TFPanelSettings&>(*this) = TFPanelSettings{};
    Style = Side == "Left" ? 1 : 3;
    if (Style == 3) Columns = 1;
    Rows = 17;
    CurDir = "/";
    Bar_Pos = PosList = 0;
    CurCol = CurRow = 1;
    TreePos = 0;
    SavedBarPos.assign(1, 0);
    SavedPosList.assign(1, 0);
    FolderIndent = 0;
}

void TFPanelModel::computeLayout(int w, int h) {
    const int fontSize = Font_Size < 1 ? 1 : Font_Size;
    LineHeight = 2 * fontSize;
    ListHeight = h - InfoHeight - HeaderHeight - ScrollHeight;
    X0 = 3;
    X1 = w - 3;
    Y0 = HeaderHeight;
    Y1 = HeaderHeight + ListHeight;
    ColWidth = std::max(1, (w - 3) / columns());
    CellWidth = std::max(1, std::min(ColWidth - 2, X1 - 2));
    Rows = std::max(1, (Y1 - Y0 - 4) / LineHeight);
    NameRight = (w - 3) / 3 + 24;
    TimeWidth = X1 - NameRight - SizeWidth - DateWidth;
}

int TFPanelModel::columns() const {
    if (Style == 3) return 1;
    return Columns < 1 ? 1 : Columns;
}

int TFPanelModel::pageSize() const { return rows() * columns(); }

std::string TFPanelModel::normalizeDir(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty()) dir = "/";
    return dir;
}

std::string TFPanelModel::parentOf(const std::string& dir) {
    const std::string d = normalizeDir(dir);
    const auto slash = d.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return d.substr(0, slash);
}

std::string TFPanelModel::pathOf(const std::string& fileName) const {
    if (CurDir == "/") return "/" + fileName;
    return CurDir + "/" + fileName;
}

void TFPanelModel::ReadDir() { ReadDirNow(); }

void TFPanelModel::InstallListing(TDirectory&& listing) {
    FL = std::move(listing);
    FilesCount = FL.FilesCount();
    ListingPending = false;
    UpdateFreeSpace();
}

void TFPanelModel::UpdateFreeSpace() {
    // Asked on a worker with a time limit, so a dead network mount cannot freeze us.
    const auto space = platform::diskSpace(DiskFolder());
    FreeSpace = space ? static_cast<std::int64_t>(space->free) : 0;
}

void TFPanelModel::ReadDirNow() {
    ListingPending = false;
    CurDir = normalizeDir(CurDir);
    if (ReadArchiveDir(false) || ReadFoundDir(false)) return;
    FL.SortType = SortMethod;
    FL.ProgramsFirst = Param_ExecBegin != 0;
    FL.FoldersFirst = true;
    FL.ShowHidden = Show_FileHide != 0;
    FL.Read(CurDir);  // an unreadable folder lists ".." alone, without a message
    FilesCount = FL.FilesCount();
    UpdateFreeSpace();
}

void TFPanelModel::putCursorOn(int index) {
    const int page = pageSize();
    if (index - 1 < PosList || index - 1 >= PosList + page) PosList = index - 1 < page ? 0 : index - page;
    Bar_Pos = index - 1 - PosList;
    clampCursor();
    locateCursor();
}

void TFPanelModel::clampCursor() {
    if (ListingPending) return;  // the entries are not known yet
    const int page = pageSize();
    if (FilesCount <= 0) {
        Bar_Pos = PosList = 0;
        return;
    }
    if (PosList > FilesCount - 1) PosList = std::max(0, FilesCount - page);
    if (PosList < 0) PosList = 0;
    Bar_Pos = std::clamp(Bar_Pos, 0, std::min(page - 1, FilesCount - 1 - PosList));
}

void TFPanelModel::locateCursor() {
    const int r = rows();
    CurCol = columns() == 1 ? 1 : Bar_Pos / r + 1;
    CurRow = Bar_Pos % r + 1;
}

void TFPanelModel::publishCurrent() {
    const int i = cursorIndex();
    if (!FL.valid(i)) {
        CurFile.clear();
        CurPath = CurDir;
        CurIsDir = 0;
        CurSize = 0;
        CurIndex = i;
        return;
    }
    const TDirEntry& e = FL.entry(i);
    CurFile = e.FileName;
    CurPath = pathOf(CurFile);
    CurIsDir = e.isDir() ? 1 : 0;
    CurSize = e.isDir() ? 0 : e.Size;
    CurIndex = i;
}

void TFPanelModel::PushPosition() {
    ++TreePos;
    if (static_cast<int>(SavedBarPos.size()) <= TreePos) {
        SavedBarPos.resize(static_cast<std::size_t>(TreePos) + 1, 0);
        SavedPosList.resize(static_cast<std::size_t>(TreePos) + 1, 0);
    }
    SavedBarPos[static_cast<std::size_t>(TreePos)] = Bar_Pos;
    SavedPosList[static_cast<std::size_t>(TreePos)] = PosList;
    Bar_Pos = PosList = 0;
    locateCursor();
}

void TFPanelModel::PopPosition() {
    if (TreePos >= 1 && TreePos < static_cast<int>(SavedBarPos.size())) {
        Bar_Pos = SavedBarPos[static_cast<std::size_t>(TreePos)];
        PosList = SavedPosList[static_cast<std::size_t>(TreePos)];
        --TreePos;
    } else {
        Bar_Pos = PosList = 0;
        TreePos = 0;
    }
    // The parent may have lost entries, or the page may have shrunk, since the push.
    clampCursor();
    locateCursor();
}

bool TFPanelModel::GoParent() {
    if (ShowingFound()) {
        // ".." of a found-files listing: the folder itself, as it is on disk.
        LeaveFound();
        ReadDir();
        Bar_Pos = PosList = 0;
        locateCursor();
        if (OnChangeFolder) OnChangeFolder(Side);
        return true;
    }
    if (CurDir == "/") {
        Bar_Pos = 0;
        locateCursor();
        return false;
    }
    const TArchiveFolders::Level* archive = Archive().innermost();
    const bool leavingArchive = archive && normalizeDir(CurDir) == archive->shown;
    const std::string archiveName =
        leavingArchive ? CurDir.substr(std::min(CurDir.size(), parentOf(CurDir).size() + 1)) : std::string();
    CurDir = parentOf(CurDir);
    ReadDir();
    PopPosition();
    if (leavingArchive && !ListingPending) {
        // The cursor back on the archive, even when the folder changed while we were in it.
        const int i = FL.findByName(archiveName);
        if (i > 0 && i != cursorIndex()) putCursorOn(i);
    }
    if (OnChangeFolder) OnChangeFolder(Side);
    return true;
}

std::string TFPanelModel::DiskFolder() const {
    const TArchiveFolders::Level* outer = Archive().outermost();
    if (!outer || !(CurDir == outer->shown || CurDir.rfind(outer->shown + "/", 0) == 0)) return CurDir;
    return parentOf(outer->shown);
}

bool TFPanelModel::ReadArchiveDir(bool keepNames) {
    CurDir = normalizeDir(CurDir);
    Archive().follow(CurDir);
    if (!Archive().holds(CurDir)) return false;
    const CursorAnchor a = keepNames ? anchor(true) : CursorAnchor{};
    const TArchiveFolders::Level& level = *Archive().innermost();
    std::string inner = Archive().innerOf(CurDir);
    int node = level.tree.folder(inner);
    // A folder the archive no longer has (its entries were deleted): the nearest one it has.
    while (node < 0 && !inner.empty()) {
        const std::size_t slash = inner.rfind('/');
        inner = slash == std::string::npos ? std::string() : inner.substr(0, slash);
        node = level.tree.folder(inner);
    }
    CurDir = inner.empty() ? level.shown : level.shown + "/" + inner;
    TDirectory listing;
    listing.SortType = SortMethod;
    listing.ProgramsFirst = Param_ExecBegin != 0;
    listing.FoldersFirst = true;
    listing.ShowHidden = Show_FileHide != 0;
    listing.Build(CurDir, level.tree.items(node));
    InstallListing(std::move(listing));
    if (keepNames) restoreAnchor(a);
    return true;
}

void TFPanelModel::ShowFound(const std::string& dir, std::vector<std::string> relativeNames) {
    Archive().leaveAll();
    CurDir = normalizeDir(dir);
    foundDir_ = CurDir;
    found_ = std::move(relativeNames);
    ReadDir();
    Bar_Pos = PosList = 0;
    clampCursor();
    locateCursor();
    if (OnChangeFolder) OnChangeFolder(Side);
}

void TFPanelModel::LeaveFound() {
    foundDir_.clear();
    found_.clear();
}

bool TFPanelModel::ReadFoundDir(bool keepNames) {
    if (foundDir_.empty()) return false;
    if (normalizeDir(CurDir) != foundDir_) {
        LeaveFound();
        return false;
    }
    const CursorAnchor a = keepNames ? anchor(true) : CursorAnchor{};
    std::vector<platform::DirItem> items;
    std::vector<std::string> kept;
    const int fd = ::open(foundDir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        for (std::string& name : found_) {
            platform::DirItem it;
            if (!platform::statEntry(fd, name, it)) continue;  // gone since the search
            it.name = name;
            items.push_back(std::move(it));
            kept.push_back(std::move(name));
        }
        ::close(fd);
    }
    found_ = std::move(kept);
    TDirectory listing;
    listing.SortType = SortMethod;
    listing.ProgramsFirst = Param_ExecBegin != 0;
    listing.FoldersFirst = true;
    listing.ShowHidden = Show_FileHide != 0;
    listing.Build(CurDir, std::move(items));
    InstallListing(std::move(listing));
    if (keepNames) restoreAnchor(a);
    return true;
}

void TFPanelModel::ReloadArchive() {
    const TArchiveFolders::Level* level = Archive().innermost();
    if (!level || !InArchive()) return;
    std::string error;
    if (Archive().reload(error)) {
        const CursorAnchor a = anchor(false);
        ReadDir();
        restoreAnchor(a);
        return;
    }
    // The archive is gone (its last entry deleted) or broken: back to its folder.
    const std::string shown = level->shown;
    int levels = 0;
    for (std::string d = CurDir; d.size() > shown.size(); d = parentOf(d)) ++levels;
    CurDir = parentOf(shown);
    ReadDir();
    Bar_Pos = PosList = 0;
    TreePos = std::max(0, TreePos - levels - 1);
    clampCursor();
    locateCursor();
    publishCurrent();
    if (OnChangeFolder) OnChangeFolder(Side);
}

void TFPanelModel::EnterOpenedArchive(const std::string& shown) {
    CurDir = shown;
    ReadDir();
    PushPosition();
    if (OnChangeFolder) OnChangeFolder(Side);
}

bool TFPanelModel::EnterArchiveFile(const std::string& path) {
    std::string error;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (!Archive().open(path, normalizeDir(path), error)) {
        if (OnNotice) OnNotice("<" + platform::visibleControls(CurFile) + "> cannot be opened: " + error);
        return false;
    }
    EnterOpenedArchive(normalizeDir(path));
    return true;
}

bool TFPanelModel::EnterArchiveEntry() {
    const std::string folder = ArchiveInner();
    const std::string inner = folder.empty() ? CurFile : folder + "/" + CurFile;
    std::string error;
    if (archiveExtension(CurFile)) {
        if (Archive().openNested(inner, CurPath, error)) {
            EnterOpenedArchive(CurPath);
            return true;
        }
    } else {
        std::string file;
        if (Archive().extractEntry(inner, file, error)) {
            std::string launchError;
            if (Launch && !Launch(file, parentOf(file), launchError) && OnLaunchError)
                OnLaunchError(launchError);
            return false;
        }
    }
    if (OnNotice) OnNotice("<" + platform::visibleControls(CurFile) + "> cannot be opened: " + error);
    return false;
}

bool TFPanelModel::EnterItem() {
    if (Style == 2) return false;
    if (cursorIndex() == 1 && CurDir != "/") return GoParent();
    const int i = cursorIndex();
    if (!FL.valid(i)) return false;
    const TDirEntry& e = FL.entry(i);
    if (e.isParent()) return GoParent();
    if (e.isDir()) {
        CurDir = pathOf(e.FileName);
        ReadDir();
        PushPosition();
        if (OnChangeFolder) OnChangeFolder(Side);
        return true;
    }
    publishCurrent();
    if (OnAddFileHistory) OnAddFileHistory(CurFile);
    if (InArchive()) return EnterArchiveEntry();
    // A fifo, socket or device is never opened nor launched (reading a fifo waits for a
    // writer forever): the file work says what it is instead.
    if (!specialKindAt(CurPath).empty()) {
        if (OnFileEnter) OnFileEnter(CurPath);
        return false;
    }
    // An archive the reader knows opens as a folder.
    if (archiveExtension(CurFile)) return EnterArchiveFile(CurPath);
    std::string error;
    if (Launch && !Launch(CurPath, CurDir, error) && OnLaunchError) OnLaunchError(error);
    return false;
}

TFPanelModel::CursorAnchor TFPanelModel::anchor(bool withSelection) const {
    CursorAnchor a;
    const int i = cursorIndex();
    if (FL.valid(i)) a.name = FL.entry(i).FileName;
    if (withSelection && FL.SelectedCount > 0)
        for (int k = 1; k <= FL.FilesCount(); ++k)
            if (FL.entry(k).Selected) a.selected.push_back(FL.entry(k).FileName);
    return a;
}

void TFPanelModel::restoreAnchor(const CursorAnchor& a) {
    for (const std::string& name : a.selected)
        if (const int i = FL.findByName(name); i > 0) FL.setSelected(i, true);
    if (const int now = a.name.empty() ? 0 : FL.findByName(a.name); now > 0) {
        // The same screen row when the entry can stay there, else the top of the page.
        PosList = std::max(0, now - 1 - Bar_Pos);
        Bar_Pos = now - 1 - PosList;
    }
    clampCursor();  // the entry is gone: the old index, clamped
    locateCursor();
    publishCurrent();
}

void TFPanelModel::DirChanged() {
    // Another program changed the folder. Entries before the cursor may have come or gone,
    // so its index now means another file, one that the next delete would hit: follow the
    // entry by name, and keep the selection of the entries that are still there.
    const CursorAnchor a = anchor(true);
    ReadDirNow();
    restoreAnchor(a);
}

bool TFPanelModel::ApplyChanges(const std::vector<std::string>& names) {
    if (ListingPending || ShowingFound()) return false;
    const CursorAnchor a = anchor(false);
    std::vector<platform::DirItem> present;
    std::vector<std::string> absent;
    platform::DirNames dir;
    if (!dir.open(CurDir)) return false;
    for (const std::string& name : names) {
        platform::DirItem item;  // no type hint: a link must be told by its stat
        if (name.find('/') == std::string::npos && platform::statEntry(dir.fd(), name, item)) {
            item.name = name;
            present.push_back(std::move(item));
        } else {
            absent.push_back(name);
        }
    }
    if (!FL.Apply(std::move(present), absent)) return false;
    FilesCount = FL.FilesCount();
    restoreAnchor(a);
    return true;
}

void TFPanelModel::FolderGone() {
    std::string dir = CurDir;
    int levels = 0;
    while (dir != "/" && !isDirectory(dir)) {
        dir = parentOf(dir);
        ++levels;
    }
    const bool moved = dir != CurDir;
    CurDir = dir;
    ReadDir();
    if (moved) {
        // The cursor lands on the first entry; the levels left behind leave the stack.
        Bar_Pos = PosList = 0;
        TreePos = std::max(0, TreePos - levels);
    }
    clampCursor();
    locateCursor();
    publishCurrent();
    if (moved && OnChangeFolder) OnChangeFolder(Side);
}

}  // namespace kv
