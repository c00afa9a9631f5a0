// The select-group dialog (grey + and grey -), the sort-mode chooser and the drive chooser,
// driven through the real window.
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTableWidget>

#include <atomic>
#include <chrono>
#include <thread>

#include "main/panel_dialogs/form_drive.h"
#include "main/panel_dialogs/form_plus.h"
#include "main/panel_dialogs/form_sort.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

using kv::platform::DriveInfo;
using kv::platform::DriveKind;

std::vector<std::string> selectedNames(kv::TFPanel* p) {
    std::vector<std::string> out;
    for (int i = 1; i <= p->FL.FilesCount(); ++i)
        if (p->FL.selected(i)) out.push_back(p->FL.displayName(i));
    return out;
}

std::vector<std::string> listed(const kv::TFPanel* p) {
    std::vector<std::string> out;
    for (int i = 1; i <= p->FL.FilesCount(); ++i) out.push_back(p->FL.displayName(i));
    return out;
}

// Positions of `names` in the listing, in the order given.
std::vector<int> placesOf(const kv::TFPanel* p, const std::vector<std::string>& names) {
    std::vector<int> out;
    for (const auto& n : names) out.push_back(p->FL.findByName(n));
    return out;
}

}  // namespace

TEST_F(MainWindowTest, GreyPlusSelectsByMaskAndGreyMinusUnselects) {
    writeFile(work / "b.TXT", "b");
    writeFile(work / "c.doc", "cc");
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    using V = std::vector<std::string>;
    auto grey = [&](int key, const QString& mask) {
        QString caption;
        onNextDialog<kv::TFormPlus>([mask, &caption](kv::TFormPlus* d) {
            caption = d->windowTitle();
            EXPECT_TRUE(d->focusWidget() == d->Edit1 || d->focusWidget() == d->Edit1->lineEdit());
            d->Edit1->setEditText(mask);
            d->Button1->click();
        });
        QTest::keyClick(f.ComLine, static_cast<Qt::Key>(key), Qt::KeypadModifier);
        EXPECT_EQ(expectedModals(), 0) << "the dialog did not open";
        return caption;
    };

    EXPECT_EQ(grey(Qt::Key_Plus, "*.txt"), QStringLiteral("Expand selection"));
    auto sorted = [](V v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(selectedNames(p)), (V{"b.TXT", "notes.txt"}));  // letters in any case
    // "*.*" flips every file, never ".." or a folder.
    grey(Qt::Key_Plus, "*.*");
    EXPECT_EQ(sorted(selectedNames(p)), (V{"c.doc", "data.bin"}));
    EXPECT_EQ(p->FL.SelectedCount, 2);
    EXPECT_EQ(p->FL.SelectedSize, 2 + 1536);
    // Grey - only ever unselects: a mask list takes off what matches, leaves the rest.
    EXPECT_EQ(grey(Qt::Key_Minus, "*.bin, *.txt"), QStringLiteral("Reduce selection"));
    EXPECT_EQ(selectedNames(p), (V{"c.doc"}));
    grey(Qt::Key_Minus, "*.bin");
    EXPECT_EQ(selectedNames(p), (V{"c.doc"}));
    // The same flip twice leaves the panel as it was.
    grey(Qt::Key_Plus, "*.txt");
    grey(Qt::Key_Plus, "*.txt");
    EXPECT_EQ(selectedNames(p), (V{"c.doc"}));
    // The dialog is kept: its list holds the masks of the run, newest first, each once.
    kv::TFormPlus& d = kv::TFormPlus::instance(f);
    ASSERT_EQ(d.Edit1->count(), 4);
    EXPECT_EQ(d.Edit1->itemText(0), QStringLiteral("*.txt"));
    EXPECT_EQ(d.Edit1->itemText(1), QStringLiteral("*.bin"));
    EXPECT_EQ(d.Edit1->itemText(3), QStringLiteral("*.*"));
    // The menu item opens the same dialog; Cancel changes nothing.
    onNextDialog<kv::TFormPlus>([](kv::TFormPlus* dd) {
        dd->Edit1->setEditText("*");
        dd->Button2->click();
    });
    f.menuItem("Selectgroup1")->trigger();
    EXPECT_EQ(selectedNames(p), (V{"c.doc"}));
}

TEST_F(MainWindowTest, ABadMaskSaysWhereAndKeepsTheDialogOpen) {
    auto& f = start();
    QString seen;
    bool stayed = false;
    onNextDialog<kv::TFormPlus>([&](kv::TFormPlus* d) {
        d->Edit1->setEditText("[ab");
        answerNextMessageBox(QMessageBox::Ok, &seen);
        d->Button1->click();
        stayed = d->isVisible();
        d->reject();
    });
    key(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_TRUE(seen.startsWith(QStringLiteral("'[ab' is an invalid mask at ("))) << seen.toStdString();
    EXPECT_TRUE(stayed);
    EXPECT_EQ(f.LeftPanel->FL.SelectedCount, 0);
    // A mask that failed is not remembered.
    EXPECT_EQ(kv::TFormPlus::instance(f).Edit1->findText("[ab"), -1);
}

TEST_F(MainWindowTest, EachSortModeFromTheChooserResortsThePanel) {
    // Names, extensions and sizes each give another order of the three files.
    writeFile(work / "b.zz", std::string(300, 'b'));
    writeFile(work / "c.aa", std::string(100, 'c'));
    writeFile(work / "a.mm", std::string(200, 'a'));
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    const std::vector<std::string> three = {"a.mm", "b.zz", "c.aa"};
    struct Row {
        int item;
        int method;
        const char* caption;             // the group box's words when the chooser opens next
        std::vector<std::string> order;  // empty: as a fresh read in that order gives
    };
    const Row rows[] = {
        {0, kv::srName, " Sort by name ", {"a.mm", "b.zz", "c.aa"}},
        {2, kv::srSize, " Sort by size ", {"b.zz", "a.mm", "c.aa"}},
        {1, kv::srExt, " Sort by extension ", {"c.aa", "a.mm", "b.zz"}},
        {3, kv::srDate, " Sort by date ", {}},
        {4, kv::srNone, " No sorting ", {}},
    };
    QString caption, group = QStringLiteral("?");
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caption);
        onNextDialog<kv::TFormSort>([&](kv::TFormSort* d) {
            caption = d->windowTitle();
            group = d->GroupBox1->title();
            QListWidgetItem* it = d->ListBox1->item(r.item);
            const QPoint at = d->ListBox1->visualItemRect(it).center();
            QMouseEvent move(QEvent::MouseMove, QPointF(at),
                             QPointF(d->ListBox1->viewport()->mapToGlobal(at)), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(d->ListBox1->viewport(), &move);
            EXPECT_EQ(d->ListBox1->currentRow(), r.item) << "the item under the mouse is highlighted";
            QTest::mouseClick(d->ListBox1->viewport(), Qt::LeftButton, {}, at);
        });
        key(Qt::Key_F12, Qt::ControlModifier);
        EXPECT_EQ(caption, QStringLiteral("Sort modes for Left panel"));
        EXPECT_EQ(p->SortMethod, r.method);
        std::vector<int> at = placesOf(p, three);
        std::vector<std::string> got(3);
        std::vector<std::pair<int, std::string>> byPlace;
        for (int i = 0; i < 3; ++i)
            byPlace.emplace_back(at[static_cast<size_t>(i)], three[static_cast<size_t>(i)]);
        std::sort(byPlace.begin(), byPlace.end());
        for (int i = 0; i < 3; ++i) got[static_cast<size_t>(i)] = byPlace[static_cast<size_t>(i)].second;
        if (!r.order.empty()) {
            EXPECT_EQ(got, r.order);
        } else {
            kv::TDirectory fresh;
            fresh.SortType = static_cast<std::uint8_t>(r.method);
            ASSERT_TRUE(fresh.Read(work.string()));
            std::vector<std::string> want;
            for (int i = 1; i <= fresh.FilesCount(); ++i) want.push_back(fresh.displayName(i));
            EXPECT_EQ(listed(p), want);
        }
        EXPECT_EQ(p->FL.displayName(1), "..");
    }
    // The chooser shows the order it found.
    onNextDialog<kv::TFormSort>([&](kv::TFormSort* d) {
        group = d->GroupBox1->title();
        d->reject();  // Esc: no change
    });
    key(Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(group, QStringLiteral(" No sorting "));
    EXPECT_EQ(p->SortMethod, kv::srNone);
}

TEST_F(MainWindowTest, DriveChooserListsMountsAndADeadMountIsNotReadyWithoutBlocking) {
    const fs::path stick = root / "stick", share = root / "share", cd = root / "cdrom";
    fs::create_directories(stick);
    fs::create_directories(share);
    fs::create_directories(cd);
    writeFile(stick / "on-stick.txt", "s");
    auto& f = start();
    kv::TFormDrive& d = kv::TFormDrive::instance(f);
    const std::vector<DriveInfo> drives = {{"/", "/dev/sda1", "ext4", DriveKind::Fixed},
                                           {stick.string(), "/dev/sdb1", "vfat", DriveKind::Removable},
                                           {share.string(), "srv:/x", "nfs4", DriveKind::Network},
                                           {cd.string(), "/dev/sr0", "iso9660", DriveKind::CdRom},
                                           {work.string(), "/dev/sdc1", "ext4", DriveKind::Removable}};
    d.Drives = [drives] { return drives; };
    // The share never answers, as a dead network mount does not.
    auto release = std::make_shared<std::atomic<bool>>(false);
    d.Probe = [release, share = share.string()](const std::string& mount) {
        if (mount != share) return true;
        while (!*release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    };
    d.AnswerLimit = std::chrono::milliseconds(300);
    struct Release {
        std::shared_ptr<std::atomic<bool>> r;
        ~Release() { *r = true; }
    } releaseAtEnd{release};

    key(Qt::Key_F1, Qt::AltModifier);
    ASSERT_TRUE(d.isVisible());
    EXPECT_FALSE(d.isModal());
    EXPECT_EQ(f.cfg().FilesPanel.DriveTarget, "Left");
    ASSERT_EQ(d.DriveList->rowCount(), 5);
    auto row = [&](int r) { return d.DriveList->item(r, 0)->text().toStdString(); };
    EXPECT_EQ(row(0).rfind("/: [", 0), 0u) << row(0);
    EXPECT_EQ(row(1), stick.string() + ": [Removable]");
    EXPECT_EQ(row(2), share.string() + ": [Network]");
    EXPECT_EQ(row(3), cd.string() + ": [CD-ROM]");
    EXPECT_EQ(d.DriveList->currentRow(), 4) << "the mount of the panel's folder is the longest prefix";
    // A fixed disk shows its label the old way.
    EXPECT_EQ(kv::TFormDrive::rowText({"/data", "", "ext4", DriveKind::Fixed}, "BACKUP"), "/data: [Backup]");
    EXPECT_EQ(kv::TFormDrive::rowText({"/data", "", "ext4", DriveKind::Fixed}, ""), "/data: [No-name]");

    // The dead share: the window goes on while the question is out, then says not ready.
    QString said;
    answerNextMessageBox(QMessageBox::Ok, &said);
    QSignalSpy notReady(&d, &kv::TFormDrive::notReady);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    QElapsedTimer clock;
    clock.start();
    d.chooseRow(2);
    EXPECT_LT(clock.elapsed(), 100) << "choosing waited for the drive";
    EXPECT_TRUE(d.checking());
    QTRY_COMPARE_WITH_TIMEOUT(notReady.count(), 1, 5000);
    EXPECT_GT(ticks, 10) << "the event loop stood still";
    EXPECT_EQ(said, QStringLiteral("Drive not ready, please select another drive"));
    EXPECT_TRUE(d.isVisible()) << "the chooser stays for another choice";
    EXPECT_EQ(f.LeftPanel->CurDir, work.string());

    // Closed before the answer came: the choice is taken back.
    d.chooseRow(1);
    d.reject();
    QTRY_VERIFY_WITH_TIMEOUT(!d.checking(), 3000);
    EXPECT_EQ(f.LeftPanel->CurDir, work.string());

    // A ready drive: the panel goes to its mount point and the chooser closes.
    key(Qt::Key_F1, Qt::AltModifier);
    ASSERT_TRUE(d.isVisible());
    QSignalSpy changed(&d, &kv::TFormDrive::changed);
    d.chooseRow(1);
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 3000);
    EXPECT_EQ(f.LeftPanel->CurDir, stick.string());
    EXPECT_NE(f.LeftPanel->FL.findByName("on-stick.txt"), 0);
    EXPECT_FALSE(d.isVisible());

    // The mount the other panel is on: the panel takes the other panel's folder.
    f.changeFolder(f.RightPanel, (work / "alpha").string());
    key(Qt::Key_F1, Qt::AltModifier);
    ASSERT_TRUE(d.isVisible());
    d.chooseRow(4);
    QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 3000);
    EXPECT_EQ(f.LeftPanel->CurDir, (work / "alpha").string());

    // Alt+F2: the right panel's chooser, modal.
    onNextDialog<kv::TFormDrive>([&](kv::TFormDrive* dd) {
        EXPECT_EQ(f.cfg().FilesPanel.DriveTarget, "Right");
        dd->chooseRow(1);
    });
    key(Qt::Key_F2, Qt::AltModifier);
    EXPECT_EQ(f.RightPanel->CurDir, stick.string());
    EXPECT_FALSE(d.isVisible());
}
