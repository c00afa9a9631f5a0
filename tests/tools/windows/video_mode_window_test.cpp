// The video-mode window over a fake display driver: the listing (past the old 33-mode
// table), the chosen mode reaching the driver, each result's message, the list read
// again after a switch, and the notice where modes cannot be changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <vector>

#include "tools/video/display_modes.h"
#include "tools/video/video_form.h"

namespace {

using kv::video::DisplayMode;
using kv::video::SwitchResult;

void app() {
    if (qApp) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tools_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// A driver with a fixed mode table; a successful switch makes the chosen mode current.
struct FakeDriver : kv::video::DisplayModes {
    std::vector<DisplayMode> table;
    DisplayMode now{1024, 768, 24};
    SwitchResult answer = SwitchResult::Successful;
    std::vector<DisplayMode> asked;
    int reads = 0;

    std::string unavailableReason() const override { return {}; }
    std::optional<DisplayMode> current() override { return now; }
    std::optional<DisplayMode> mode(int index) override {
        ++reads;
        if (index < 0 || index >= static_cast<int>(table.size())) return std::nullopt;
        return table[static_cast<size_t>(index)];
    }
    SwitchResult setMode(const DisplayMode& m) override {
        asked.push_back(m);
        if (answer == SwitchResult::Successful) now = m;
        return answer;
    }
};

std::vector<DisplayMode> manyModes(int n) {
    std::vector<DisplayMode> v;
    for (int i = 0; i < n; ++i) v.push_back({640 + 32 * i, 480 + 24 * i, 24});
    return v;
}

TEST(VideoModeWindow, ListsEveryModeAndSwitchesToTheChosenOne) {
    app();
    auto driver = std::make_unique<FakeDriver>();
    FakeDriver& fake = *driver;
    fake.table = manyModes(40);  // more than the old table could hold
    kv::TFormVideo w(std::move(driver));
    std::vector<QString> messages;
    w.report = [&](const QString& text) { messages.push_back(text); };

    EXPECT_EQ(w.windowTitle(), QStringLiteral("Change video mode"));
    EXPECT_EQ(w.CurrentMode->text(), QStringLiteral("1024 x 768, 24 bits"));
    ASSERT_EQ(w.ModeList->count(), 40);
    EXPECT_EQ(w.modes().size(), 40u);
    EXPECT_EQ(w.ModeList->item(0)->text(), QStringLiteral("640 x 480, 24 bits"));
    EXPECT_EQ(w.ModeList->item(39)->text(), QStringLiteral("1888 x 1416, 24 bits"));
    EXPECT_EQ(w.ModeList->currentRow(), 0);
    EXPECT_TRUE(w.SetButton->isEnabled());
    EXPECT_FALSE(w.Unavailable->isVisibleTo(&w));

    w.ModeList->setCurrentRow(5);
    w.SetButton->click();
    ASSERT_EQ(fake.asked.size(), 1u);
    EXPECT_EQ(fake.asked[0], (DisplayMode{800, 600, 24}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("The mode is established!"));
    // The window reads the driver again: the new current mode, the same list, first entry chosen.
    EXPECT_EQ(w.CurrentMode->text(), QStringLiteral("800 x 600, 24 bits"));
    EXPECT_EQ(w.ModeList->currentRow(), 0);
    w.SetButton->click();
    EXPECT_EQ(w.ModeList->count(), 40);
    EXPECT_EQ(w.modes().size(), 40u);
    EXPECT_EQ(fake.asked.back(), (DisplayMode{640, 480, 24}));
}

TEST(VideoModeWindow, EachResultHasItsMessage) {
    app();
    const std::pair<SwitchResult, const char*> rows[] = {
        {SwitchResult::Successful, "The mode is established!"},
        {SwitchResult::RestartNeeded, "It is required restart"},
        {SwitchResult::Failed, "Cannot set this mode"},
        {SwitchResult::BadMode, "Sorry, bad mode"},
        {SwitchResult::NotUpdated, "Not updated"},
        {SwitchResult::BadFlags, "Bad Flags"},
        {static_cast<SwitchResult>(7), ""},
    };
    for (const auto& [result, text] : rows) {
        auto driver = std::make_unique<FakeDriver>();
        driver->table = manyModes(2);
        driver->answer = result;
        FakeDriver& fake = *driver;
        kv::TFormVideo w(std::move(driver));
        QString shown = QStringLiteral("(none)");
        w.report = [&](const QString& t) { shown = t; };
        w.SetButton->click();
        EXPECT_EQ(shown, QString::fromUtf8(text)) << static_cast<int>(result);
        // A refused switch leaves the display as it was.
        if (result != SwitchResult::Successful) {
            EXPECT_EQ(w.CurrentMode->text(), QStringLiteral("1024 x 768, 24 bits"));
        }
        EXPECT_EQ(fake.asked.size(), 1u);
    }
}

TEST(VideoModeWindow, WithoutXRandrItSaysSoAndOffersNothing) {
    app();
    auto off = kv::video::systemDisplayModes(false);
    EXPECT_FALSE(off->unavailableReason().empty());
    kv::TFormVideo w(std::move(off), [](const char* key, const char*) { return QString::fromUtf8(key); });
    bool reported = false;
    w.report = [&](const QString&) { reported = true; };
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Caption"));
    EXPECT_EQ(w.SetButton->text(), QStringLiteral("Button_Set"));
    EXPECT_EQ(w.CancelButton->text(), QStringLiteral("Button_Cancel"));
    EXPECT_EQ(w.ModeList->count(), 0);
    EXPECT_FALSE(w.SetButton->isEnabled());
    EXPECT_TRUE(w.Unavailable->isVisibleTo(&w));
    EXPECT_TRUE(w.Unavailable->text().contains(QStringLiteral("X11")));
    w.SetButtonClick();  // double-click on an empty list
    EXPECT_FALSE(reported);
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        w.show();
        w.grab().save(dir + QStringLiteral("/video_mode_unavailable.png"));
    }
}

TEST(VideoModeWindow, Screenshot) {
    const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "KV_SCREENSHOT_DIR not set";
    app();
    auto driver = std::make_unique<FakeDriver>();
    driver->table = {{1920, 1080, 24}, {1680, 1050, 24}, {1280, 1024, 24}, {1024, 768, 24}, {800, 600, 24}};
    kv::TFormVideo w(std::move(driver));
    w.show();
    w.grab().save(dir + QStringLiteral("/video_mode.png"));
}

}  // namespace
