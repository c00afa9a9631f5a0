// The Utils menu's system information, clipboard viewer, video mode and dialer: each opens
// its window, and what the clipboard viewer and the dialer keep reaches the settings.
#include <QAction>
#include <array>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>

#include "main_window_fixture.h"
#include "tools/clipboard/clip_form.h"
#include "tools/dialer/dialup_form.h"
#include "tools/sysinfo/info_form.h"
#include "tools/video/video_form.h"

using namespace kvtest;

TEST_F(MainWindowTest, UtilityItemsOpenTheirWindows) {
    auto& f = start();

    QString drive;
    onNextDialog<kv::TFormInfo>([&](kv::TFormInfo* d) {
        drive = d->Drive->text();
        d->OkButton->click();
    });
    f.menuItem("N15")->trigger();
    EXPECT_TRUE(drive.endsWith(QStringLiteral(" bytes"))) << drive.toStdString();
    EXPECT_NE(drive, QStringLiteral("-1 bytes"));  // the active panel's folder is readable

    f.cfg().ClipboardBounds = {};
    onNextDialog<kv::TFormClip>([](kv::TFormClip* d) {
        EXPECT_EQ(d->bounds(), QRect(50, 50, 300, 300));
        d->move(70, 90);
        d->resize(410, 220);
        d->reject();
    });
    f.menuItem("Clipboard1")->trigger();
    const auto& b = f.cfg().ClipboardBounds;
    EXPECT_EQ((std::array<int, 4>{b.Left, b.Top, b.Width, b.Height}), (std::array<int, 4>{70, 90, 410, 220}));

    bool videoShown = false;
    onNextDialog<kv::TFormVideo>([&](kv::TFormVideo* d) {
        videoShown = true;
        EXPECT_TRUE(d->Unavailable->isVisibleTo(d));  // the tests run off X11
        d->CancelButton->click();
    });
    f.menuItem("Changevideomode1")->trigger();
    EXPECT_TRUE(videoShown);

    f.cfg().DialUpSettings.RedialTime = 25;
    f.menuItem("Internet2")->trigger();
    QPointer<kv::TFormDialUp> dialer;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* w = qobject_cast<kv::TFormDialUp*>(top); w && w->isVisible()) dialer = w;
    ASSERT_FALSE(dialer.isNull());
    EXPECT_FALSE(dialer->isModal());
    EXPECT_EQ(dialer->RedialTime->value(), 25);
    dialer->RedialTime->setValue(40);
    dialer->CancelButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialer.isNull());
    EXPECT_EQ(f.cfg().DialUpSettings.RedialTime, 40);
}
