// The folder size F3 asks for: counted off the window's thread, shown in the panel, and
// stopped by Esc.
#include <QLabel>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <thread>

#include "main/panel_dialogs/folder_size.h"
#include "panel/model/panel_format.h"
#include "main_window_fixture.h"

using namespace kvtest;

namespace {

// Counts 1000 bytes a millisecond until stopped, or ends by itself after `runs` steps.
class SlowCounter : public kv::FolderCounter {
public:
    explicit SlowCounter(int runs) : runs_(runs) {}
    std::int64_t Size(const std::string&) override {
        for (int i = 0; i < runs_ && !stop_; ++i) {
            size_ += 1000;
            ++count_;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return size_;
    }
    void Stop() override { stop_ = true; }
    std::int64_t FilesCount() const override { return count_; }
    std::int64_t FilesSize() const override { return size_; }

private:
    int runs_;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> size_{0}, count_{0};
};

struct CounterSwap {
    explicit CounterSwap(int runs) : saved(kv::TFolderSizeJob::counterFactory()) {
        kv::TFolderSizeJob::counterFactory() = [runs] { return std::make_unique<SlowCounter>(runs); };
    }
    ~CounterSwap() { kv::TFolderSizeJob::counterFactory() = saved; }
    std::function<std::unique_ptr<kv::FolderCounter>()> saved;
};

QString sizeText(kv::TFPanel* p, const std::string& name) {
    return p->SizeText(p->FL.entry(p->FL.findByName(name)), p->font(), 200);
}

}  // namespace

TEST_F(MainWindowTest, F3OnAFolderShowsItsSizeInPlaceOfTheFolderMark) {
    writeFile(work / "alpha" / "big.bin", std::string(5000, 'b'));
    writeFile(work / "alpha" / "sub" / "x.txt", std::string(100, 'x'));
    fs::create_directories(work / "beta" / "empty");
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    EXPECT_EQ(sizeText(p, "alpha"), QStringLiteral("<Folder>"));

    placeCursor(p, "alpha");
    key(Qt::Key_F3);
    const int alpha = p->FL.findByName("alpha");
    QTRY_VERIFY_WITH_TIMEOUT(p->FL.entry(alpha).SizeCounted, 5000);
    EXPECT_EQ(p->FL.size(alpha), 5000 + 100 + 6);  // inner.txt holds 6 bytes
    EXPECT_EQ(f.Label2->text(), QStringLiteral("alpha: 5,106 bytes"));
    EXPECT_EQ(sizeText(p, "alpha"), QString::fromStdString(kv::FormatSize(5106)));
    const QString status = p->StatusTexts(QFontMetrics(p->font())).size;  // in the system's grouping
    EXPECT_TRUE(status.startsWith('5') && status.endsWith(QStringLiteral("106"))) << status.toStdString();

    // A middle click counts too. A folder of empty folders has size 0, and says so
    // instead of keeping its mark.
    const int beta = p->FL.findByName("beta");
    ASSERT_LT(beta, p->Rows);  // in the first column
    QTest::mouseClick(p, Qt::MiddleButton, {},
                      QPoint(p->X0 + 10, p->Y0 + 2 + (beta - 1) * p->LineHeight + p->LineHeight / 2));
    EXPECT_EQ(p->CurFile, "beta");
    QTRY_VERIFY_WITH_TIMEOUT(p->FL.entry(beta).SizeCounted, 5000);
    EXPECT_EQ(p->FL.size(beta), 0);
    EXPECT_EQ(sizeText(p, "beta"), QString::fromStdString(kv::FormatSize(0)));
    EXPECT_NE(sizeText(p, "beta"), QStringLiteral("<Folder>"));
}

TEST_F(MainWindowTest, EscStopsALongFolderCountAndTheWindowGoesOnMeanwhile) {
    CounterSwap slow(1000000);
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    placeCursor(p, "alpha");
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(10);
    key(Qt::Key_F3);
    ASSERT_NE(kv::TFolderSizeJob::running(f), nullptr);
    // The running total reaches the status strip while the count goes on.
    QTRY_VERIFY_WITH_TIMEOUT(ticks > 0 &&
                                 f.Label2->text().startsWith(QStringLiteral("Folder size: alpha  ")) &&
                                 !f.Label2->text().contains(QStringLiteral("  0 bytes")),
                             5000);
    ASSERT_NE(kv::TFolderSizeJob::running(f), nullptr) << "the event loop ran while the count went on";
    // The cursor still moves.
    key(Qt::Key_Down);
    key(Qt::Key_Up);
    EXPECT_EQ(p->CurFile, "alpha");
    key(Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(kv::TFolderSizeJob::running(f) == nullptr, 3000);
    EXPECT_TRUE(f.Label2->text().startsWith(QStringLiteral("Folder size of alpha stopped after ")))
        << f.Label2->text().toStdString();
    // A cut-short total is not the folder's size.
    EXPECT_FALSE(p->FL.entry(p->FL.findByName("alpha")).SizeCounted);
    EXPECT_EQ(sizeText(p, "alpha"), QStringLiteral("<Folder>"));
}

TEST_F(MainWindowTest, AFolderCountThatEndsAfterThePanelMovedOnMarksNothing) {
    CounterSwap slow(150);
    auto& f = start();
    kv::TFPanel* p = f.LeftPanel;
    placeCursor(p, "alpha");
    key(Qt::Key_F3);
    QPointer<kv::TFolderSizeJob> job = kv::TFolderSizeJob::running(f);
    ASSERT_TRUE(job);
    // Into alpha itself: its listing has no "alpha" entry, the old one is gone.
    f.changeFolder(p, (work / "alpha").string());
    QTRY_VERIFY_WITH_TIMEOUT(job.isNull(), 5000);
    EXPECT_EQ(f.Label2->text(), QStringLiteral("alpha: 150,000 bytes"));
    for (int i = 1; i <= p->FL.FilesCount(); ++i)
        EXPECT_FALSE(p->FL.entry(i).SizeCounted) << p->FL.displayName(i);
}
