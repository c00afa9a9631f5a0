#include "panel/fpanel.h"

#include <QFontMetrics>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "panel/model/file_kinds.h"
#include "panel/model/panel_format.h"
#include "panel/panel_colors.h"
#include "platform/dir_reader.h"
#include "platform/drives.h"
#include "platform/system_info.h"

namespace kv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

const QColor kYellow(255, 255, 0);
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kGrey(0x80, 0x80, 0x80);
const QColor kWhite(255, 255, 255);

std::string groupSep() {
    const QString sep = QLocale().groupSeparator();
    // The C locale has no grouping; the old program always showed one.
    return sep.isEmpty() || QLocale().language() == QLocale::C ? std::string(",") : sep.toStdString();
}

QFont fontFrom(const TFPanelSettings& s) {
    QFont f(QString::fromUtf8(s.Font_Name.empty() ? kPanelFontName : s.Font_Name.c_str()));
    f.setPointSize(s.Font_Size < 1 ? 1 : s.Font_Size);
    f.setBold(s.Font_Bold);
    f.setItalic(s.Font_Italic);
    // Stems snapped to whole pixels: at 8 pt lightly hinted letters blur into the
    // coloured background.
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

}  // namespace

TColorRef NameColor(const std::string& name, const TFPanelSettings& s) {
    if (!s.Show_FileColors) return s.DirectoryColor;
    const std::uint32_t c = extensionColor(name);
    return c ? c : s.DirectoryColor;
}

TFPanel::TFPanel(QWidget* parent) : QWidget(parent), controller_(*this) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
    // The information view's font: its lines keep the spacing of the old 8 pt font, but
    // at 9 pt Liberation Sans draws the Cyrillic byte sign with its flat top stroke; in
    // smaller or rounder bold faces it reads as a "6" after a number.
    fixedFont_ = QFont(QStringLiteral("Liberation Sans"));
    fixedFont_.setPointSize(9);
    TimerDown = new QTimer(this);
    TimerUp = new QTimer(this);
    TimerDown->setInterval(20);
    TimerUp->setInterval(20);
    connect(TimerDown, &QTimer::timeout, this, [this] { apply(controller_.scrollDownTick()); });
    connect(TimerUp, &QTimer::timeout, this, [this] { apply(controller_.scrollUpTick()); });
    Monitor = new TDirMon(this);
    // Folders made or removed by other programs must show too, not only files, and so
    // must new sizes and times (a file is shown with the size it has when its writer
    // closes it, not the 0 bytes it was created with).
    Monitor->SetNotifyFilter(platform::fwFileName | platform::fwDirName | platform::fwAttributes |
                             platform::fwClosedWrite);
    Monitor->OnDirChange = [this](TDirMon*) { DirChanged(); };
    Monitor->OnNamesChanged = [this](TDirMon*, std::vector<platform::NameChange>&& names) {
        queueChanges(std::move(names));
    };
    Monitor->OnOverflow = [this](TDirMon*) {
        needFullRead_ = true;
        queueChanges({});
    };
    progressTimer_ = new QTimer(this);
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, [this] { update(QRect(0, Y1, width(), height() - Y1)); });
    changeTimer_ = new QTimer(this);
    changeTimer_->setSingleShot(true);
    connect(changeTimer_, &QTimer::timeout, this, [this] { flushChanges(); });
    Monitor->OnDirGone = [this](TDirMon*) {
        FolderGone();
        // The main window re-points the monitor on the folder event; without one bound,
        // the panel does it itself so it never watches a folder that is gone.
        if (Monitor->Running() && Monitor->Directory() != CurDir) RestartMonitor();
        DrawList();
    };
    Monitor->OnWarning = [this](const std::string& text) {
        QMessageBox::warning(this, QStringLiteral("Warning"), qs(text));
    };
    OnNotice = [this](const std::string& text) {
        QMessageBox::information(this, QStringLiteral("Korvalen"), qs(text));
    };
    OnLaunchError = [this](const std::string& text) {
        QMessageBox::critical(this, QStringLiteral("Error"), qs(text));
    };
    SetDefaults();
}

TFPanel::~TFPanel() {
    // The workers post to this object; they end (cancelled) before it goes.
    if (job_) job_->cancel();
    job_.reset();
    retired_.clear();
}

void TFPanel::SetDefaults() {
    TFPanelModel::SetDefaults();
    ApplyFont();
}

void TFPanel::ApplyFont() {
    font_ = fontFrom(*this);
    if (Length < 1) Length = 1;
    HeaderHeight = Length == 8 ? 25 : 2 * Length;
    InfoHeight = Length == 8 ? 38 : 4 * Length;
    ScrollHeight = Show_ScrollBar ? 11 : 0;
    const QFontMetrics fm(font_);
    SizeWidth = fm.horizontalAdvance(QStringLiteral("<Folder>")) + 19;
    DateWidth = fm.horizontalAdvance(QStringLiteral("17.09.1996;")) + 18;
    layoutNow();
    update();
}

// ---- drawing entry points ------------------------------------------------------

void TFPanel::layoutNow() {
    computeLayout(width(), height());
    // A smaller page (a style or font change, a smaller window) keeps the cursor on
    // its entry by scrolling, never leaving it outside the page.
    const int page = pageSize();
    if (Bar_Pos > page - 1) {
        PosList += Bar_Pos - (page - 1);
        Bar_Pos = page - 1;
    }
    clampCursor();
    locateCursor();
    // Every way the cursor or the listing can change (a re-read, a new folder from the drive
    // bar, new settings) ends in a layout pass before the paint: the status strip and
    // CurFile then always name the entry under the cursor.
    publishCurrent();
}

void TFPanel::DrawFrame(const std::string&) { update(); }

void TFPanel::DrawList() {
    diagnostics_ = false;
    layoutNow();
    update();
}

void TFPanel::DrawCursor() {
    layoutNow();
    controller_.cursorShown();
    update();
}

void TFPanel::HideCursor() { update(); }

void TFPanel::LocateCursor() { locateCursor(); }

void TFPanel::DrawStatus(const std::string&) { update(); }

void TFPanel::DrawInfo() {
    info_.reset();
    update();
}

void TFPanel::ShowDiagnostics() {
    diagnostics_ = true;
    update();
}

// ---- actions -----------------------------------------------------------------

void TFPanel::apply(Repaint r) {
    if (r == Repaint::None) return;
    if (r == Repaint::List || diagnostics_) {
        diagnostics_ = false;
        update();
        return;
    }
    // Only the two cursor cells, the status strip and the indicator change.
    const int prevCell = controller_.previousIndex() - 1 - PosList;
    QRegion region = cellRect(Bar_Pos);
    if (prevCell >= 0 && prevCell < pageSize()) region += cellRect(prevCell);
    region += QRect(0, Y1, width(), height() - Y1);
    update(region);
}

void TFPanel::CursorUp() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.CursorUp());
}
void TFPanel::CursorDown() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.CursorDown());
}
void TFPanel::PageRight() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.PageRight());
}
void TFPanel::PageLeft() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.PageLeft());
}
void TFPanel::CursorHome() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.CursorHome());
}
void TFPanel::CursorEnd() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.CursorEnd());
}
void TFPanel::EnterItem() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.EnterItem());
}
void TFPanel::GoParent() {
    layoutNow();
    apply(controller_.GoParent());
}
void TFPanel::ToggleSelect() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.ToggleSelect());
}
void TFPanel::InvertSelection() {
    if (blockedByRead()) return;
    layoutNow();
    apply(controller_.InvertSelection());
}
void TFPanel::ToggleHidden() {
    layoutNow();
    apply(controller_.ToggleHidden());
}
void TFPanel::RefreshDir() {
    layoutNow();
    apply(controller_.Refresh());
}

void TFPanel::RefreshDirNow() {
    if (job_) {
        job_->cancel();
        retired_.push_back(std::move(job_));
        progressTimer_->stop();
    }
    TFPanelModel::ReadDirNow();
    if (FilesCount < 2) Bar_Pos = 0;
    clampCursor();
    controller_.cursorShown();
    DrawList();
}

void TFPanel::DirChanged() {
    layoutNow();
    ++stats_.fullRereads;
    startRead(ReadMode::KeepNames);
    if (!job_) {
        controller_.cursorShown();
        DrawList();
    }
}

void TFPanel::ReadDir() {
    const bool sameFolder =
        !ListingPending && !FL.Path.empty() && normalizeDir(FL.Path) == normalizeDir(CurDir);
    startRead(sameFolder ? ReadMode::KeepIndex : ReadMode::NewFolder);
    if (!monitorStarted_ && !Monitor->Running()) {
        try {
            RestartMonitor();
        } catch (const std::exception& e) {
            if (Monitor->OnWarning) Monitor->OnWarning(e.what());
        }
    }
    monitorStarted_ = true;
}

void TFPanel::startRead(ReadMode mode) {
    CurDir = normalizeDir(CurDir);
    if (job_) {
        job_->cancel();
        retired_.push_back(std::move(job_));
    }
    // Cancelled jobs end at their next slice; those that have are let go here.
    std::erase_if(retired_, [](const std::unique_ptr<TListingJob>& j) { return j->finished(); });
    readCancelled_ = false;
    if (mode == ReadMode::NewFolder) {
        pendingNames_.clear();
        pendingSet_.clear();
        needFullRead_ = false;
    }
    // A folder inside an archive lists from the archive's tree, at once.
    if (ReadArchiveDir(mode == ReadMode::KeepNames) || ReadFoundDir(mode == ReadMode::KeepNames)) {
        progressTimer_->stop();
        return;
    }
    auto job = std::make_unique<TListingJob>(
        TListingJob::Params{CurDir, SortMethod, Param_ExecBegin != 0, Show_FileHide != 0});
    if (job->runInline(kInlineNames)) {
        const CursorAnchor a = mode == ReadMode::KeepNames ? anchor(true) : CursorAnchor{};
        InstallListing(std::move(job->result()));
        if (mode == ReadMode::KeepNames) restoreAnchor(a);
        progressTimer_->stop();
        return;
    }
    readMode_ = mode;
    const quint64 generation = ++readGeneration_;
    if (mode == ReadMode::NewFolder) {
        // Until the entries are in: ".." alone, and the cursor left where callers put it.
        TDirectory placeholder;
        placeholder.Build(CurDir, {});
        FL = std::move(placeholder);
        FilesCount = FL.FilesCount();
        ListingPending = true;
        UpdateFreeSpace();  // the status strip shows it while the entries come in
    }
    job->start([this, generation] {
        QMetaObject::invokeMethod(
            this, [this, generation] { onListingReady(generation); }, Qt::QueuedConnection);
    });
    job_ = std::move(job);
    progressTimer_->start();
    update();
}

void TFPanel::onListingReady(quint64 generation) {
    if (generation != readGeneration_ || !job_ || !job_->finished()) return;
    std::unique_ptr<TListingJob> job = std::move(job_);
    progressTimer_->stop();
    if (job->cancelled()) return;
    switch (readMode_) {
        case ReadMode::NewFolder: InstallListing(std::move(job->result())); break;
        case ReadMode::KeepIndex:
            InstallListing(std::move(job->result()));
            if (FilesCount < 2) Bar_Pos = 0;
            break;
        case ReadMode::KeepNames: {
            const CursorAnchor a = anchor(true);
            InstallListing(std::move(job->result()));
            restoreAnchor(a);
            break;
        }
    }
    job.reset();
    clampCursor();
    locateCursor();
    controller_.cursorShown();
    DrawList();
    // Changes that came while reading.
    if (!pendingNames_.empty() || needFullRead_) queueChanges({});
}

bool TFPanel::CancelRead() {
    if (!job_) return false;
    job_->cancel();
    retired_.push_back(std::move(job_));
    progressTimer_->stop();
    readCancelled_ = true;
    if (ListingPending) {
        ListingPending = false;  // ".." alone stays; Enter on it leaves the folder
        Bar_Pos = PosList = 0;
    }
    DrawList();
    return true;
}

void TFPanel::queueChanges(std::vector<platform::NameChange>&& names) {
    for (auto& n : names)
        if (pendingSet_.insert(n.name).second) pendingNames_.push_back(std::move(n.name));
    if (changeTimer_->isActive()) return;
    // At most ten updates a second, however busy the folder is.
    const qint64 since = lastFlush_.isValid() ? lastFlush_.elapsed() : 1000;
    changeTimer_->start(static_cast<int>(std::max<qint64>(0, 100 - since)));
}

void TFPanel::flushChanges() {
    if (job_) return;  // the listing being read takes them when it is in
    lastFlush_.start();
    // Past this many names a full read on the worker is cheaper than stats here.
    constexpr std::size_t kMaxNamesPerUpdate = 2000;
    if (!needFullRead_ && pendingNames_.size() > kMaxNamesPerUpdate &&
        pendingNames_.size() > FL.FilesCount() / 4u)
        needFullRead_ = true;
    if (needFullRead_) {
        needFullRead_ = false;
        pendingNames_.clear();
        pendingSet_.clear();
        DirChanged();
        return;
    }
    if (pendingNames_.empty()) return;
    std::vector<std::string> batch;
    if (pendingNames_.size() > kMaxNamesPerUpdate) {
        // A backlog goes in slices, one per update, so no update holds the window long.
        batch.assign(std::make_move_iterator(pendingNames_.begin()),
                     std::make_move_iterator(pendingNames_.begin() + kMaxNamesPerUpdate));
        pendingNames_.erase(pendingNames_.begin(), pendingNames_.begin() + kMaxNamesPerUpdate);
        for (const auto& n : batch) pendingSet_.erase(n);
        changeTimer_->start(100);
    } else {
        batch.swap(pendingNames_);
        pendingSet_.clear();
    }
    layoutNow();
    if (ApplyChanges(batch)) {
        ++stats_.batches;
        stats_.names += batch.size();
        controller_.cursorShown();
        DrawList();
    } else {
        DirChanged();  // only a full read gives the exact order
    }
}

void TFPanel::RestartMonitor() {
    monitorStarted_ = true;
    if (Monitor->Running()) Monitor->Stop();
    if (InArchive() || monitorHolds_ > 0) return;  // an archive: its commands re-read it
    Monitor->SetDirectory(CurDir);
    Monitor->Start();
}

void TFPanel::HoldMonitor() {
    if (monitorHolds_++ == 0 && Monitor->Running()) Monitor->Stop();
}

void TFPanel::ReleaseMonitor() {
    if (monitorHolds_ == 0 || --monitorHolds_ > 0) return;
    try {
        RestartMonitor();
    } catch (const std::exception&) {
        // A folder that cannot be watched keeps its listing; the next folder change retries.
    }
}

void TFPanel::PlaceCursorOn(const std::string& name) {
    int i = FL.findByName(name);
    if (i == 0) i = 1;
    HideCursor();
    putCursorOn(i);
    DrawList();
    DrawCursor();
}

// ---- mouse ---------------------------------------------------------------------

namespace {
MouseButton toButton(Qt::MouseButton b) {
    if (b == Qt::RightButton) return MouseButton::Right;
    if (b == Qt::MiddleButton) return MouseButton::Middle;
    return MouseButton::Left;
}
}  // namespace

void TFPanel::mousePressEvent(QMouseEvent* e) {
    if (blockedByRead()) return;
    layoutNow();
    const QPoint p = e->position().toPoint();
    apply(controller_.mousePress(toButton(e->button()), p.x(), p.y()));
    syncTimers();
}

void TFPanel::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (SplitLeft >= 0 && parentWidget()) {
        const int px = mapToParent(p).x();
        if (px >= SplitLeft - 1 && px <= SplitRight + 1) return;
    }
    apply(controller_.mouseMove(p.x(), p.y()));
    syncTimers();
}

void TFPanel::mouseReleaseEvent(QMouseEvent*) {
    apply(controller_.mouseRelease());
    syncTimers();
}

void TFPanel::mouseDoubleClickEvent(QMouseEvent* e) {
    // Qt sends press, release, double-click, release: the double click stands for the
    // second press, so it runs the double-click action and then that press.
    if (e->button() == Qt::LeftButton) apply(controller_.doubleClick());
    mousePressEvent(e);
}

void TFPanel::wheelEvent(QWheelEvent* e) {
    if (Style == 2 || blockedByRead()) return;
    wheelRest_ += e->angleDelta().y();
    Repaint r = Repaint::None;
    for (; wheelRest_ >= 120; wheelRest_ -= 120)
        for (int i = 0; i < 3; ++i) r = r | controller_.CursorUp();
    for (; wheelRest_ <= -120; wheelRest_ += 120)
        for (int i = 0; i < 3; ++i) r = r | controller_.CursorDown();
    // Several steps may have left several cells; repaint the list once.
    if (r != Repaint::None) apply(Repaint::List);
    e->accept();
}

void TFPanel::syncTimers() {
    if (controller_.wantScrollDown() != TimerDown->isActive())
        controller_.wantScrollDown() ? TimerDown->start() : TimerDown->stop();
    if (controller_.wantScrollUp() != TimerUp->isActive())
        controller_.wantScrollUp() ? TimerUp->start() : TimerUp->stop();
}

void TFPanel::resizeEvent(QResizeEvent*) { layoutNow(); }

// ---- painting --------------------------------------------------------------------

QRect TFPanel::cellRect(int cell) const {
    const int r = rows();
    const int col = columns() == 1 ? 0 : cell / r;
    const int row = cell % r;
    const int x = X0 + col * ColWidth;
    const int y = Y0 + 2 + row * LineHeight;
    const int right = Style == 3 ? X1 : std::min(x + CellWidth, X1 - 1);
    return QRect(x, y, right - x + 1, LineHeight + 2);
}

QString TFPanel::SizeText(const TDirEntry& e, const QFont& font, int room) const {
    if (e.isParent()) return QStringLiteral("<UP>");
    if (const std::string_view word = kindSizeWord(e); !word.empty()) return QString::fromUtf8(word);
    if (e.isDir())
        return e.Size > 0 || e.SizeCounted ? qs(FormatSize(e.Size, groupSep())) : QStringLiteral("<Folder>");
    const QString bytes = QString::number(e.Size);
    // A clipped number would read as a smaller size: too long for the column, it is
    // shown in Kb or Mb instead.
    if (QFontMetrics(font).horizontalAdvance(bytes) <= room) return bytes;
    return qs(FormatSize(e.Size, groupSep()));
}

QColor TFPanel::nameColor(const TDirEntry& e) const {
    if (e.Selected) return kYellow;
    if (e.IsBroken) return kGrey;
    if (e.isHidden()) return kSilver;
    return toQColor(NameColor(e.FileName, *this), palette());
}

void TFPanel::paintEvent(QPaintEvent* ev) {
    layoutNow();
    QPainter p(this);
    p.setClipRegion(ev->region());
    if (diagnostics_) {
        paintDiagnostics(p);
        return;
    }
    if (Style == 2) {
        paintInfo(p);
        return;
    }
    paintFrame(p);
    paintCells(p, ev->rect());
    paintStatus(p);
    paintIndicator(p);
}

void TFPanel::paintFrame(QPainter& p) {
    const int w = width(), h = height();
    const QColor fon = toQColor(PanelFon, palette());
    const QColor line = toQColor(Active || Style == 2 ? LineColor : LineColorSlave, palette());
    p.fillRect(QRect(0, 0, w, h - ScrollHeight), fon);
    p.setPen(QPen(line, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(4, 5), QPoint(w - 5, h - ScrollHeight - 4)));
    p.drawLine(3, HeaderHeight, w - 4, HeaderHeight);
    p.drawLine(3, HeaderHeight + ListHeight + 1, w - 4, HeaderHeight + ListHeight + 1);
    // Column lines.
    if (Style == 3) {
        p.drawLine(NameRight, Y0, NameRight, Y1);
        if (NameRight + SizeWidth < X1) p.drawLine(NameRight + SizeWidth, Y0, NameRight + SizeWidth, Y1);
        if (NameRight + SizeWidth + DateWidth < w - 4)
            p.drawLine(NameRight + SizeWidth + DateWidth, Y0, NameRight + SizeWidth + DateWidth, Y1);
    } else if (columns() > 1) {
        p.setPen(QPen(line, 1));
        for (int k = 1; k < columns(); ++k) p.drawLine(2 + k * ColWidth, Y0 + 1, 2 + k * ColWidth, Y1 - 1);
    }
    // Outer border: grey left and top, white right and bottom.
    p.setPen(QPen(kGrey, 1));
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(QPen(kWhite, 1));
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.drawLine(0, h - 1, w - 1, h - 1);
    // Header: the current folder, centred.
    if (Show_CurDir) {
        QFont normal = font_;
        normal.setBold(false);
        p.setFont(normal);
        p.setPen(toQColor(HeaderTextColor, palette()));
        const QFontMetrics fm(normal);
        QString dir = qs(shownName(CurDir));
        dir = fm.elidedText(dir, Qt::ElideMiddle, std::max(10, w - 14));
        const int tw = fm.horizontalAdvance(dir);
        const int x = std::max(5, (X1 - X0 - tw) / 2);
        const int y = std::max(5, (Y0 + 3 - fm.height()) / 2 + 1);
        p.save();
        p.setClipRect(QRect(QPoint(4, 5), QPoint(w - 6, HeaderHeight - 2)), Qt::IntersectClip);
        p.drawText(QRect(x, y, w - x - 6, fm.height()), Qt::AlignLeft | Qt::AlignTop, dir);
        p.restore();
    }
}

void TFPanel::paintCells(QPainter& p, const QRect& area) {
    const int page = pageSize();
    const int visible = std::min(page, FilesCount - PosList);
    for (int cell = 0; cell < visible; ++cell) {
        const QRect r = cellRect(cell);
        if (!r.intersects(area)) continue;
        paintCell(p, cell, Active && cell == Bar_Pos);
    }
}

void TFPanel::paintCell(QPainter& p, int cell, bool bar) {
    const int i = PosList + cell + 1;
    if (!FL.valid(i)) return;
    const TDirEntry& e = FL.entry(i);
    const int r = rows();
    const int col = columns() == 1 ? 0 : cell / r;
    const int row = cell % r;
    const int x = X0 + 3 + col * ColWidth - (col > 0 ? 1 : 0);
    const int y = Y0 + 4 + row * LineHeight;
    const int indent = FolderIndent && e.isDir() ? 17 : 0;
    QFont f = font_;
    f.setBold(e.isDir() || e.isParent());  // the cell sets the style, whatever the font's
    p.setFont(f);
    const QColor colour = nameColor(e);
    const int cellLeft = X0 + col * ColWidth;
    const int nameRight = Style == 3 ? NameRight - 2 : std::min(cellLeft + CellWidth, width() - 5) - 3;
    if (bar) {
        const int left = cellLeft + (col == 0 ? 2 : 1);
        const int right = Style == 3 ? X1 - 2 : std::min(cellLeft + CellWidth - 1, X1 - 4);
        p.fillRect(QRect(QPoint(left, y - 2), QPoint(right, y - 2 + LineHeight)),
                   toQColor(PanelSelectFon, palette()));
    }
    p.setPen(Style == 3 && e.Selected ? toQColor(FileSelectColor, palette()) : colour);
    const QRect nameClip(QPoint(x - 1, y), QPoint(nameRight, y + LineHeight - 1));
    QRect nameRect = nameClip.adjusted(1 + indent, 0, 0, 0);
    if (e.isParent()) nameRect.setLeft(nameRect.left() + paintParentMark(p, nameRect));
    bool shortened = false;
    const QString name = CellName(e, QFontMetrics(f), nameRect.width(), &shortened);
    p.drawText(nameRect, Qt::AlignLeft | Qt::AlignTop, name);
    noteName(cell, i, nameRect, shortened);
    if (Style != 3) return;
    p.setPen(colour);
    const int sizeLeft = NameRight, dateLeft = NameRight + SizeWidth, timeLeft = dateLeft + DateWidth;
    const QRect sizeClip(QPoint(sizeLeft + 5 + indent, y), QPoint(dateLeft - 2, y + LineHeight - 1));
    p.drawText(sizeClip, Qt::AlignLeft | Qt::AlignTop, SizeText(e, f, sizeClip.width()));
    if (e.isParent()) return;
    if (DateWidth > 2)
        p.drawText(QRect(QPoint(dateLeft + 5, y), QPoint(std::min(timeLeft, X1) - 2, y + LineHeight - 1)),
                   Qt::AlignLeft | Qt::AlignTop, qs(formatDate(e.Written)));
    if (X1 - timeLeft > 1)
        p.drawText(QRect(QPoint(timeLeft + 5, y), QPoint(X1 - 2, y + LineHeight - 1)),
                   Qt::AlignLeft | Qt::AlignTop, qs(formatTime(e.Written)));
}

// The real parent entry carries a drawn arrow that no name can spell: a folder named
// "\u2025", ".. " or ".." with a zero-width character looks like ".." in text, never like this.
int TFPanel::paintParentMark(QPainter& p, const QRect& nameRect) const {
    const int h = std::max(6, std::min(LineHeight - 4, nameRect.height() - 2));
    const int w = h - h / 4;
    const int left = nameRect.left(), top = nameRect.top() + (nameRect.height() - h) / 2;
    const int mid = left + w / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(p.pen().color());
    const QPoint head[] = {{mid, top}, {left, top + h / 2}, {left + w, top + h / 2}};
    p.drawPolygon(head, 3);
    p.fillRect(QRect(mid - std::max(1, w / 6), top + h / 2, std::max(2, w / 3), h - h / 2), p.pen().color());
    p.restore();
    return w + 3;
}

TFPanel::StatusStrip TFPanel::StatusTexts(const QFontMetrics& fm) const {
    StatusStrip st;
    const std::string sep = groupSep();
    if (job_ || readCancelled_) {
        st.name = job_ ? qs(Texts.Reading +
                            formatThousands(static_cast<std::int64_t>(job_->progress()), sep) + Texts.Entries)
                       : qs(Texts.ReadCancelled);
        st.sizeX = st.nameX;
        if (Show_FreeDisk) st.free = qs(formatThousands(FreeSpace / 1048576, sep) + Texts.FreeOnDrive);
        return st;
    }
    const bool parent = CurFile == "..";
    const bool entry = !parent && FL.valid(CurIndex);
    if (Show_FileDate && entry) {
        const auto t = FL.written(CurIndex);
        st.date = qs(formatDate(t) + "  " + formatTime(t));
        st.dateX = X1 - 10 - fm.horizontalAdvance(st.date);
    }
    const std::string_view kindWord = entry ? kindStatusWord(FL.entry(CurIndex)) : std::string_view();
    if (Show_FileSize && entry) {
        if (!kindWord.empty())
            st.size = QString::fromUtf8(kindWord);
        else if (!CurIsDir)
            st.size = qs(formatThousands(CurSize, sep, true));
        else
            st.size = FL.size(CurIndex) > 0 || FL.entry(CurIndex).SizeCounted
                          ? qs(formatThousands(FL.size(CurIndex), sep))
                          : qs(Texts.Folder);
    }
    // A long name gives way to the size and the date rather than running under them; its
    // middle goes, so the start and the extension stay.
    const int lineEnd = st.date.isEmpty() ? X1 - 10 : st.dateX - 8;
    st.nameX = 6;
    if (Show_FileName) {
        const QString gap = QStringLiteral("   ");
        const int room = lineEnd - st.nameX - fm.horizontalAdvance(QStringLiteral("<>") + gap + st.size);
        QString shown = qs(shownName(CurFile));
        if (entry && FL.entry(CurIndex).IsLink)
            shown += QStringLiteral(" \u2192 ") + qs(shownName(linkTarget(CurPath)));
        st.name = QStringLiteral("<") + fm.elidedText(shown, Qt::ElideMiddle, std::max(0, room)) +
                  QStringLiteral(">");
        st.sizeX = st.nameX + fm.horizontalAdvance(st.name + gap);
    } else {
        st.sizeX = st.nameX;
    }
    if (FL.SelectedCount > 0) {
        st.totals = {qs(FL.SelectedSize > 0 ? formatThousands(FL.SelectedSize, sep) : std::string("0")),
                     qs(Texts.BytesIn), QString::number(FL.SelectedCount), qs(Texts.Files)};
        st.totalsX = X1 - 10 - fm.horizontalAdvance(st.totals.join(QString()));
    }
    if (Show_FreeDisk) {
        // The selection totals share the line and win it: the free space is shortened
        // to end before them.
        const QString free = qs(formatThousands(FreeSpace / 1048576, sep) + Texts.FreeOnDrive);
        const int end = st.totals.isEmpty() ? X1 - 10 : st.totalsX - 8;
        st.free = fm.horizontalAdvance(free) <= end - 6
                      ? free
                      : fm.elidedText(free, Qt::ElideRight, std::max(0, end - 6));
    }
    return st;
}

void TFPanel::paintStatus(QPainter& p) {
    const int w = width();
    const QColor fon = toQColor(PanelFon, palette());
    p.fillRect(QRect(QPoint(4, Y1 + 2), QPoint(w - 6, height() - ScrollHeight - 5)), fon);
    QFont normal = font_;
    normal.setBold(false);
    p.setFont(normal);
    const QFontMetrics fm(normal);
    const StatusStrip st = StatusTexts(fm);
    const int base = Y1 + 4 + fm.ascent();
    const QColor sys = toQColor(SysTextColor, palette());
    const QColor sizeDate = toQColor(SizeDateColor, palette());
    p.setPen(sys);
    if (!st.name.isEmpty()) p.drawText(QPoint(st.nameX, base), st.name);
    p.setPen(sizeDate);
    if (!st.size.isEmpty()) p.drawText(QPoint(st.sizeX, base), st.size);
    if (!st.date.isEmpty()) p.drawText(QPoint(st.dateX, base), st.date);
    const int s = !Show_FreeDisk ? 0 : (Length == 8 ? 13 : static_cast<int>(std::lround(1.5 * Length)));
    const int base2 = base + s;
    if (!st.free.isEmpty()) {
        p.setPen(sys);
        p.drawText(QPoint(6, base2), st.free);
    }
    // Numbers in yellow, words in white.
    int px = st.totalsX;
    for (int i = 0; i < st.totals.size(); ++i) {
        p.setPen(i % 2 == 0 ? kYellow : kWhite);
        p.drawText(QPoint(px, base2), st.totals[i]);
        px += fm.horizontalAdvance(st.totals[i]);
    }
}

void TFPanel::paintIndicator(QPainter& p) {
    if (ScrollHeight <= 0) return;
    const int w = width(), h = height();
    const QRect strip(QPoint(3, h - ScrollHeight + 2), QPoint(w - 4, h - 2));
    const QColor face = palette().color(QPalette::Button);
    p.fillRect(QRect(0, h - ScrollHeight, w, ScrollHeight), face);
    p.setPen(kGrey);
    p.drawLine(strip.topLeft(), strip.topRight());
    p.drawLine(strip.topLeft(), strip.bottomLeft());
    p.setPen(kWhite);
    p.drawLine(strip.bottomLeft(), strip.bottomRight());
    p.drawLine(strip.topRight(), strip.bottomRight());
    const int n = FilesCount - 1 > 0 ? FilesCount - 1 : 1;
    const int d = Bar_Pos + PosList;
    const int track = (w - 4) - 3 - 26;
    ThumbPos = d == 0 ? 1 : static_cast<int>(std::lround(static_cast<double>(track) * (d + 1) / n));
    ThumbPos = std::max(1, std::min(ThumbPos, (w - 4) - 26));
    const QRect box(QPoint(3 + ThumbPos, h - ScrollHeight + 2), QPoint(3 + ThumbPos + 19, h - 5));
    p.fillRect(box, kSilver);
    p.setPen(kWhite);
    p.drawLine(box.topLeft(), box.topRight());
    p.drawLine(box.topLeft(), box.bottomLeft());
    p.setPen(kGrey);
    p.drawLine(box.bottomLeft(), box.bottomRight());
    p.drawLine(box.topRight(), box.bottomRight());
}

void TFPanel::paintInfo(QPainter& p) {
    const int w = width(), h = height();
    p.fillRect(rect(), toQColor(PanelFon, palette()));
    QFont bold = fixedFont_;
    bold.setBold(true);
    p.setFont(bold);
    const QFontMetrics fm(bold);
    const QColor text = toQColor(SysInfoText, palette());
    const QColor line = toQColor(LineColor, palette());
    const std::string sep = groupSep();
    const TFPanel* active = this;
    if (OtherPanel && OtherPanel->Active) {
        active = OtherPanel;
    } else if (!OtherPanel && !Active && parentWidget()) {
        // Without an OtherPanel set, the active sibling panel is the one described.
        for (const TFPanel* sib : parentWidget()->findChildren<TFPanel*>(Qt::FindDirectChildrenOnly))
            if (sib != this && sib->Active) active = sib;
    }
    // The figures are gathered at most every two seconds: painting must not wait on
    // the file systems each time.
    const auto now = std::chrono::steady_clock::now();
    if (!info_ || now - info_->taken > std::chrono::seconds(2) || info_->dir != active->CurDir) {
        InfoFigures f;
        f.taken = now;
        f.dir = active->CurDir;
        // Figures of the working folder's file system, as the old view showed the
        // program's current drive.
        std::error_code ec;
        const std::filesystem::path cwdPath = std::filesystem::current_path(ec);
        const std::string cwd = ec ? std::string("/") : cwdPath.string();
        if (const auto space = platform::diskSpace(cwd)) {
            f.total = static_cast<std::int64_t>(space->total);
            f.free = static_cast<std::int64_t>(space->free);
        }
        const auto mem = platform::memoryStatus();
        f.memKb = static_cast<std::int64_t>((mem.totalPhys + 512) / 1024);
        f.load = mem.memoryLoad;
        f.swap = static_cast<std::int64_t>(platform::swapTotal());
        // The label belongs to the file system, so the line names its mount point.
        const auto drives = platform::listDrives();
        const platform::DriveInfo* drive = platform::driveOf(drives, active->CurDir);
        f.mount = drive ? drive->mountPoint : active->CurDir;
        const auto vol = platform::volumeId(active->CurDir);
        f.label = vol.label.empty() ? std::string("No-name") : vol.label;
        if (f.label[0] >= 'a' && f.label[0] <= 'z') f.label[0] = static_cast<char>(f.label[0] - 32);
        f.uuid = vol.uuid;
        info_ = f;
    }
    const InfoFigures& f = *info_;

    auto centred = [&](int y, const QString& s) {
        const int x = std::max(3, (X1 - fm.horizontalAdvance(s)) / 2);
        p.setPen(text);
        p.drawText(QRect(QPoint(std::max(x, 3), y), QPoint(w - 6, y + fm.height())),
                   Qt::AlignLeft | Qt::AlignTop, s);
    };
    auto separator = [&](int y) {
        p.setPen(QPen(line, 2));
        p.drawLine(4, y, w - 5, y);
    };
    centred(11, QStringLiteral("Korvalen for Win95/NT"));
    centred(27, QStringLiteral("Version 1.00 pre-release"));
    separator(47);
    centred(51, qs(Texts.TotalDriveSize + formatThousands(f.total, sep) + Texts.Bytes));
    centred(67, qs(Texts.FreeSpace + formatThousands(f.free, sep)) + QStringLiteral(" \u0431"));
    centred(83, qs(Texts.TotalMemory + formatThousands(f.memKb, sep) + Texts.Kb));
    centred(99, f.swap > 0 ? qs(Texts.SwapFile + formatThousands(f.swap, sep)) + QStringLiteral(" \u0431")
                           : qs(Texts.NoSwapFile));
    centred(115, qs(Texts.MemoryLoad) + QStringLiteral("%1 %").arg(f.load));
    separator(135);
    centred(139, qs(Texts.VolumeLabel + f.mount + ": [" + f.label + "]"));
    centred(155, qs(Texts.SerialNumber + f.uuid));
    separator(175);
    p.setPen(kGrey);
    p.drawLine(0, 0, w - 1, 0);
    p.drawLine(0, 0, 0, h - 1);
    p.setPen(kWhite);
    p.drawLine(w - 1, 0, w - 1, h - 1);
    p.drawLine(0, h - 1, w - 1, h - 1);
    p.setPen(QPen(line, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(3, 4), QPoint(w - 4, h - 4)));
}

void TFPanel::paintDiagnostics(QPainter& p) {
    p.fillRect(rect(), toQColor(PanelFon, palette()));
    p.setFont(fixedFont_);
    p.setPen(kYellow);
    const QFontMetrics fm(fixedFont_);
    p.drawText(QPoint(7, 5 + fm.ascent()), QStringLiteral("Bar_Pos - %1").arg(Bar_Pos));
    p.drawText(QPoint(7, 21 + fm.ascent()), QStringLiteral("PosList - %1").arg(PosList));
    p.drawText(QPoint(7, 37 + fm.ascent()), QStringLiteral("FL.FilesCount - %1").arg(FL.FilesCount()));
    p.drawText(QPoint(7, 53 + fm.ascent()), QStringLiteral("TreePos - %1").arg(TreePos));
}

}  // namespace kv
