// The progress window: its bars move within one big file, and its speed and time left come
// from the moments it is shown (a stand-in clock here).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>

#include <chrono>

#include "fileops/progress_window.h"
#include "main/main_window_fixture.h"

using namespace std::chrono_literals;

TEST(ProgressWindow, SpeedAndTimeLeftFollowTheClockAndTheTotalMovesWithinOneFile) {
    kvtest::app();
    kv::TFormProgress w(QStringLiteral("Copy"));
    const auto t0 = kv::fileops::RateMeter::Clock::time_point{} + 1000s;
    kv::fileops::ProgressSnapshot s;
    s.name = "/data/big.iso";
    s.filesTotal = 1;
    s.bytesTotal = s.fileBytesTotal = 10'000'000;

    w.show(s, t0);
    EXPECT_EQ(w.Speed->text(), QString()) << "no speed before a second has passed";
    s.bytesDone = s.fileBytesDone = 500'000;
    w.show(s, t0 + 500ms);
    EXPECT_EQ(w.Speed->text(), QString());
    s.bytesDone = s.fileBytesDone = 2'000'000;
    w.show(s, t0 + 2s);
    EXPECT_EQ(w.Speed->text(), QStringLiteral("1.0 MB/s, 0:08 left"));
    EXPECT_EQ(w.TotalBar->value(), 20) << "the total moves while its only file is copied";
    EXPECT_EQ(w.FileBar->value(), 20);

    // A stall brings the speed down.
    w.show(s, t0 + 12s);
    s.bytesDone = s.fileBytesDone = 2'500'000;
    w.show(s, t0 + 14s);
    EXPECT_EQ(w.Speed->text(), QStringLiteral("41.7 KB/s, 3:00 left"));

    // A job of renames has no bytes: its entries count.
    kv::fileops::ProgressSnapshot renames;
    renames.filesTotal = 4;
    renames.filesDone = 1;
    w.show(renames, t0 + 15s);
    EXPECT_EQ(w.TotalBar->value(), 25);
    EXPECT_EQ(kv::durationText(3725s), QStringLiteral("1:02:05"));
    w.hide();
}
