// TDirMon: events arrive on the GUI thread, one per notification, and its errors.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <filesystem>
#include <fstream>

#include "../model/temp_dir.h"
#include "panel/dir_mon.h"
#include "qt_app.h"

namespace kv {
namespace {

using test::spinUntil;
using test::TempDir;

TEST(DirMon, ReportsChangesOnTheGuiThread) {
    test::qtApp();
    TempDir t;
    TDirMon mon;
    int changes = 0;
    bool onGuiThread = true;
    mon.OnDirChange = [&](TDirMon* sender) {
        ++changes;
        onGuiThread = onGuiThread && QThread::currentThread() == test::qtApp().thread() && sender == &mon;
    };
    int started = 0, stopped = 0;
    mon.OnStart = [&](TDirMon*) { ++started; };
    mon.OnStop = [&](TDirMon*) { ++stopped; };
    mon.SetDirectory(t.path());
    mon.Start();
    EXPECT_EQ(started, 1);
    t.file("created");
    EXPECT_TRUE(spinUntil([&] { return changes > 0; }));
    EXPECT_TRUE(onGuiThread);

    // Content changes do not count with the default filter.
    changes = 0;
    std::ofstream(t / "created", std::ios::app) << "more";
    spinUntil([] { return false; }, 300);
    EXPECT_EQ(changes, 0);

    // A notification still queued when the monitor is stopped is not delivered.
    t.file("late");
    QThread::msleep(100);
    mon.Stop();
    EXPECT_EQ(stopped, 1);
    spinUntil([] { return false; }, 200);
    EXPECT_EQ(changes, 0);
}

// With the filter the panel uses (file and folder names), every change of the folder's
// names is reported; a changed content or another folder's change is not.
TEST(DirMon, NameChangesFireAndContentChangesDoNot) {
    test::qtApp();
    namespace fs = std::filesystem;
    const struct {
        const char* what;
        void (*act)(const TempDir&, const TempDir& elsewhere);
        bool fires;
    } rows[] = {
        {"create a file", [](const TempDir& t, const TempDir&) { t.file("new"); }, true},
        {"create a folder", [](const TempDir& t, const TempDir&) { t.dir("sub"); }, true},
        {"delete a file", [](const TempDir& t, const TempDir&) { fs::remove(t / "old"); }, true},
        {"rename inside", [](const TempDir& t, const TempDir&) { fs::rename(t / "old", t / "renamed"); },
         true},
        {"move out", [](const TempDir& t, const TempDir& e) { fs::rename(t / "old", e / "old"); }, true},
        {"move in", [](const TempDir& t, const TempDir& e) { fs::rename(e.file("in"), t / "in"); }, true},
        {"append to a file",
         [](const TempDir& t, const TempDir&) { std::ofstream(t / "old", std::ios::app) << "more"; }, false},
        {"change elsewhere", [](const TempDir&, const TempDir& e) { e.file("other"); }, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        TempDir t, elsewhere;
        t.file("old");
        TDirMon mon;
        int changes = 0;
        mon.OnDirChange = [&](TDirMon*) { ++changes; };
        mon.SetNotifyFilter(platform::fwFileName | platform::fwDirName);
        mon.SetDirectory(t.path());
        mon.Start();
        r.act(t, elsewhere);
        if (r.fires) {
            EXPECT_TRUE(spinUntil([&] { return changes > 0; }));
        } else {
            spinUntil([] { return false; }, 300);
            EXPECT_EQ(changes, 0);
        }
        mon.Stop();
    }
}

TEST(DirMon, ErrorsHaveTheirTexts) {
    test::qtApp();
    TempDir t;
    TDirMon mon;
    mon.SetDirectory(t.path());
    const auto message = [](auto&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message([&] { mon.Stop(); }), "DirMon not started");
    mon.Start();
    EXPECT_EQ(message([&] { mon.Start(); }), "DirMon already started");
    EXPECT_EQ(message([&] { mon.SetDirectory("/"); }), "Unable to change Directory when DirMon is running");
    EXPECT_EQ(message([&] { mon.SetNotifyFilter(dmcDirName); }),
              "Unable to change NotifyFilter when DirMon is running");
    EXPECT_EQ(message([&] { mon.SetDirectory(t.path()); }), "no error") << "the same folder is no change";
    mon.Stop();
    mon.SetNotifyFilter(dmcFileName | dmcDirName);
    EXPECT_EQ(mon.NotifyFilter(), 0x003u);
}

TEST(DirMon, AMissingFolderWarnsOnceAndStillCountsAsRunning) {
    test::qtApp();
    TDirMon mon;
    std::vector<std::string> warnings;
    mon.OnWarning = [&](const std::string& w) { warnings.push_back(w); };
    mon.SetDirectory("/nonexistent/kv-watch");
    mon.Start();
    EXPECT_TRUE(spinUntil([&] { return !warnings.empty(); }));
    spinUntil([] { return false; }, 100);
    EXPECT_EQ(warnings, std::vector<std::string>{"FindFirstChangeNotification() failed"});
    EXPECT_TRUE(mon.Running());
    mon.Stop();
}

TEST(DirMon, StopRightAfterStartIsPromptAndDestroyingARunningMonitorIsSafe) {
    test::qtApp();
    TempDir t;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 20; ++i) {
        TDirMon mon;
        mon.SetDirectory(t.path());
        mon.Start();
        mon.Stop();
        TDirMon running;
        running.SetDirectory(t.path());
        running.Start();
    }
    EXPECT_LT(timer.elapsed(), 2000);
}

}  // namespace
}  // namespace kv
