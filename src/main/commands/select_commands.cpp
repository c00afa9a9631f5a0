// The panel choosers: select and unselect a group by mask, the sort order, the drive; and
// the folder compare, which selects in each panel what the other one lacks or holds older.
#include <QCoreApplication>
#include <QMessageBox>
#include <QProgressDialog>

#include <memory>

#include "fileops/compare/folder_compare.h"
#include "main/commands/command_table.h"
#include "main/commands/registrars.h"
#include "main/main_form.h"
#include "main/panel_dialogs/form_drive.h"
#include "main/panel_dialogs/form_plus.h"
#include "main/panel_dialogs/form_sort.h"
#include "panel/fpanel.h"

namespace kv {

namespace {

// Seconds of a local time, for comparing two times of the same zone (days from the civil
// date, so no time-zone lookup is needed).
std::int64_t secondsOf(const LocalTime& t) {
    const std::int64_t y = static_cast<std::int64_t>(t.Year) - (t.Month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t m = t.Month;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + t.Day - 1;
    const std::int64_t days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return ((days * 24 + t.Hour) * 60 + t.Minute) * 60 + t.Second;
}

std::vector<fileops::CompareItem> itemsOf(const TFPanel& p) {
    std::vector<fileops::CompareItem> out;
    out.reserve(static_cast<std::size_t>(p.FL.FilesCount()));
    for (int i = 1; i <= p.FL.FilesCount(); ++i) {
        const TDirEntry& e = p.FL.entry(i);
        if (e.isParent()) continue;
        out.push_back({e.FileName, e.Size, secondsOf(e.Written), e.isDir(),
                       !e.isDir() && e.Kind == platform::FileKind::Regular});
    }
    return out;
}

void selectExactly(TFPanel& p, const std::vector<std::string>& names) {
    for (int i = 1; i <= p.FL.FilesCount(); ++i) p.FL.setSelected(i, false);
    for (const std::string& n : names)
        if (const int i = p.FL.findByName(n)) p.FL.setSelected(i, true);
    p.DrawList();
    p.DrawStatus("All");
}

// Selects, in each panel, exactly the entries missing from the other or newer than the
// other's; then F5 on each side copies its selection across. With `contents`, files of
// equal size are also compared byte for byte (on disk only: archive panels compare by
// name, size and time).
void compareFolders(TForm1& f, bool contents) {
    TFPanel& l = *f.LeftPanel;
    TFPanel& r = *f.RightPanel;
    const QString caption = QStringLiteral("Compare folders");
    if (l.ListingPending || r.ListingPending) {
        QMessageBox::information(&f, caption, QStringLiteral("A folder is still being read."));
        return;
    }
    fileops::CompareOptions o;
    const bool inArchive = l.InArchive() || r.InArchive();
    o.contents = contents && !inArchive;
    o.leftDir = l.CurDir;
    o.rightDir = r.CurDir;
    fileops::CompareResult res;
    {
        // Reading contents may take a while: a progress window with Stop after half a second.
        std::unique_ptr<QProgressDialog> progress;
        if (o.contents) {
            progress = std::make_unique<QProgressDialog>(QStringLiteral("Comparing contents..."),
                                                         QStringLiteral("Stop"), 0, 1000, &f);
            progress->setWindowTitle(caption);
            progress->setWindowModality(Qt::WindowModal);
            progress->setMinimumDuration(500);
            progress->setAutoClose(false);
            progress->setAutoReset(false);
            o.progress = [&progress](std::int64_t done, std::int64_t total) {
                progress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
                QCoreApplication::processEvents();
                return !progress->wasCanceled();
            };
        }
        res = fileops::compareFolders(itemsOf(l), itemsOf(r), o);
    }
    if (res.cancelled) {
        QMessageBox::information(&f, caption,
                                 QStringLiteral("The compare was stopped; the selection is as it was."));
        return;
    }
    selectExactly(l, res.left);
    selectExactly(r, res.right);
    QString text = QString::fromStdString(res.summary());
    if (contents && inArchive) text += QStringLiteral("\nContents are not compared in archives.");
    for (std::size_t i = 0; i < res.errors.size() && i < 10; ++i)
        text += QStringLiteral("\n") + QString::fromStdString(res.errors[i]);
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, &f);
    box.setObjectName(QStringLiteral("CompareSummary"));
    box.exec();
}

}  // namespace

void registerSelectCommands(CommandTable& t) {
    t.add("panel.selectGroup", [](TForm1& f) { TFormPlus::instance(f).run(GroupAction::Flip); });
    t.add("panel.unselectGroup", [](TForm1& f) { TFormPlus::instance(f).run(GroupAction::Unselect); });
    t.add("panel.sortModes", [](TForm1& f) {
        TFormSort d(f);
        d.exec();
    });
    t.add("panel.changeDrive", [](TForm1& f) { f.ChangeDrive(f.cfg().Main.Active); });
    // Alt+F1 shows the chooser for the left panel modeless, Alt+F2 for the right one modal.
    t.add("drive.targetLeft", [](TForm1& f) { TFormDrive::instance(f).showFor("Left", false); });
    t.add("panel.compareFolders", [](TForm1& f) { compareFolders(f, false); });
    t.add("panel.compareFoldersContents", [](TForm1& f) { compareFolders(f, true); });
    t.add("drive.targetRight", [](TForm1& f) { TFormDrive::instance(f).showFor("Right", true); });
}

}  // namespace kv
