// The dialer window driven through an in-process fake service: round-robin redials over
// the checked entries after the countdown, the closes it is asked for, a closed window that
// never redials, the log, the options panel, and reports from another thread kept in order.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/dialer/dial_service.h"
#include "tools/dialer/dialup_form.h"
#include "tools/dialer/nm_dial_service.h"
#include "tools/dialer/nm_reports.h"

namespace {

using namespace kv::dialer;

void app() {
    if (qApp) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tools_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

struct FakeService : DialService {
    std::vector<std::string> names;
    std::vector<std::string> dialed;
    int hangUps = 0;
    int dialResult = 0;
    Progress progress;

    std::vector<std::string> entries() override { return names; }
    int dial(const std::string& entry, Progress p) override {
        dialed.push_back(entry);
        progress = std::move(p);
        return dialResult;
    }
    void hangUp() override { ++hangUps; }
    std::string errorText(int code) override {
        if (code == kLineBusy) return "The line is busy.";
        if (code == kPortDisconnected) return "The port was disconnected by the remote machine.";
        return "Error " + std::to_string(code);
    }
    // A report as the service would send it; delivered once the event loop runs.
    void report(int state, int error = 0) {
        progress(DialReport{state, error});
        QCoreApplication::sendPostedEvents();
    }
};

struct Dialer {
    FakeService* fake;
    kv::TFormDialUp* w;
    explicit Dialer(std::vector<std::string> names, kv::DialerOptions o = {true, false, false, 3}) {
        app();
        auto service = std::make_unique<FakeService>();
        service->names = std::move(names);
        fake = service.get();
        w = new kv::TFormDialUp(std::move(service), o);
        w->setAttribute(Qt::WA_DeleteOnClose, false);
        w->show();
    }
    ~Dialer() { delete w; }
    void check(int row) { w->EntryList->item(row)->setCheckState(Qt::Checked); }
    QString lastLog() const {
        return w->Log->count() ? w->Log->item(w->Log->count() - 1)->text() : QString();
    }
};

TEST(Dialer, BusyRedialsRoundRobinAfterTheCountdown) {
    Dialer d({"A", "B", "C"});
    d.check(0);
    d.check(2);
    // Each step: what happens, then the entries dialed so far, whether the countdown runs,
    // the caption and the connection counter.
    enum Do { Call, Tick, Busy, Dropped, Connect };
    struct Step {
        Do what;
        std::vector<std::string> dialed;
        bool counting;
        const char* caption;
        const char* counter;
    };
    const Step steps[] = {
        {Call, {}, true, "Internet Dialer", "0"},
        {Tick, {"A"}, false, "Dial to <A>", "0"},  // a call dials at the first tick
        {Busy, {"A"}, true, "Dial to <A>", "1"},   // A busy: C is next
        {Tick, {"A"}, true, "Wait 2 secund for <C>", "1"},
        {Tick, {"A"}, true, "Wait 1 secund for <C>", "1"},
        {Busy, {"A"}, true, "Wait 1 secund for <C>", "2"},  // during a countdown only the counter moves
        {Tick, {"A", "C"}, false, "Dial to <C>", "2"},
        {Dropped, {"A", "C"}, true, "Dial to <C>", "3"},  // C dropped by the peer: back to A
        {Tick, {"A", "C"}, true, "Wait 2 secund for <A>", "3"},
        {Tick, {"A", "C"}, true, "Wait 1 secund for <A>", "3"},
        {Tick, {"A", "C", "A"}, false, "Dial to <A>", "3"},
        {Connect, {"A", "C", "A"}, false, "Connected <A>", "3"},
    };
    int n = 0;
    for (const auto& s : steps) {
        switch (s.what) {
            case Call: d.w->CallButton->click(); break;
            case Tick: d.w->Timer1Timer(); break;
            case Busy: d.fake->report(kConnectDevice, kLineBusy); break;
            case Dropped: d.fake->report(kDisconnected, kPortDisconnected); break;
            case Connect: d.fake->report(kConnected); break;
        }
        EXPECT_EQ(d.fake->dialed, s.dialed) << "step " << n;
        EXPECT_EQ(d.w->Timer1().isActive(), s.counting) << "step " << n;
        EXPECT_EQ(d.w->windowTitle(), QString::fromUtf8(s.caption)) << "step " << n;
        EXPECT_EQ(d.w->Counter->text(), QString::fromUtf8(s.counter)) << "step " << n;
        ++n;
    }
    EXPECT_EQ(d.lastLog(), QStringLiteral("The connection is established <A>"));
    EXPECT_EQ(d.w->Log->item(0)->text(), QStringLiteral("The line is busy."));
    EXPECT_TRUE(d.w->isVisible());
    // Each dial hangs up the one before.
    EXPECT_EQ(d.fake->hangUps, 2);
    d.w->HangUpClick();
    EXPECT_EQ(d.fake->hangUps, 3);
    EXPECT_EQ(d.w->windowTitle(), QStringLiteral("Inet Dialer"));
}

TEST(Dialer, OneCheckedEntryIsRedialedAndTheCounterGrows) {
    Dialer d({"A", "B"}, {true, false, false, 0});
    d.check(1);
    d.w->CallClick();
    d.w->Timer1Timer();
    for (int i = 1; i <= 3; ++i) {
        d.fake->report(kConnectDevice, kLineBusy);
        EXPECT_EQ(d.w->Counter->text(), QString::number(i));
        d.w->Timer1Timer();  // a delay of 0 dials at the next tick
    }
    EXPECT_EQ(d.fake->dialed, (std::vector<std::string>{"B", "B", "B", "B"}));
}

TEST(Dialer, ClosesWhenAskedAndAClosedWindowNeverRedials) {
    struct Row {
        const char* what;
        kv::DialerOptions options;
        int state, error;
        bool open;     // the window still shown after the report
        bool redials;  // a countdown started
    };
    const Row rows[] = {
        {"connected, close asked", {true, false, true, 3}, kConnected, 0, false, false},
        {"connected, close not asked", {true, false, false, 3}, kConnected, 0, true, false},
        {"busy, close on busy wins over redial",
         {true, true, false, 3},
         kConnectDevice,
         kLineBusy,
         false,
         false},
        {"busy, redial off", {false, false, false, 3}, kConnectDevice, kLineBusy, true, false},
        {"other failure redials", {true, false, false, 3}, kAuthenticate, kOtherFailure, true, true},
        {"unknown error code does not", {true, false, false, 3}, kAuthenticate, 691, true, false},
    };
    for (const auto& r : rows) {
        Dialer d({"A"}, r.options);
        d.check(0);
        d.w->CallClick();
        d.w->Timer1Timer();
        d.fake->report(r.state, r.error);
        EXPECT_EQ(d.w->isVisible(), r.open) << r.what;
        EXPECT_EQ(d.w->Timer1().isActive(), r.redials) << r.what;
    }

    Dialer d({"A"});
    d.check(0);
    d.w->CallClick();
    d.w->Timer1Timer();
    kv::DialerOptions kept{};
    QObject::connect(d.w, &kv::TFormDialUp::closedWithOptions, [&](const kv::DialerOptions& o) { kept = o; });
    d.w->RedialTime->setValue(7);
    d.w->CancelButton->click();
    EXPECT_FALSE(d.w->isVisible());
    EXPECT_EQ(kept.redialTime, 7);
    EXPECT_TRUE(kept.redial);
    d.fake->report(kConnectDevice, kLineBusy);  // the line was busy after all
    EXPECT_FALSE(d.w->Timer1().isActive());
    EXPECT_EQ(d.fake->dialed.size(), 1u);
    EXPECT_EQ(d.lastLog(), QStringLiteral("The line is busy."));
}

TEST(Dialer, LogTextsClearingAndTheOptionsPanel) {
    Dialer d({"Office VPN"});
    d.w->EntryList->setCurrentRow(0);
    d.w->CallClick();  // nothing checked: the selected entry is dialed at once
    EXPECT_EQ(d.fake->dialed, (std::vector<std::string>{"Office VPN"}));
    EXPECT_EQ(d.w->windowTitle(), QStringLiteral("Dial to <Office VPN>"));
    d.fake->report(kOpeningPort);
    d.fake->report(kConnectDevice);
    d.fake->report(12345);
    EXPECT_EQ(d.w->Log->item(0)->text(), QStringLiteral("Opening port"));
    EXPECT_EQ(d.w->Log->item(1)->text(), QStringLiteral("Connecting device <Office VPN>"));
    EXPECT_EQ(d.w->Log->item(2)->text(), QString());

    for (int i = d.w->Log->count(); i < kv::TFormDialUp::kMaxLogLines; ++i)
        d.w->Log->addItem(QStringLiteral("x"));
    d.fake->report(kAuthenticated);
    EXPECT_EQ(d.w->Log->count(), 0);  // the 10001st line clears the log
    d.fake->report(kAuthenticated);
    QTest::mouseClick(d.w->Log->viewport(), Qt::RightButton);
    EXPECT_EQ(d.w->Log->count(), 0);

    // A dial that cannot start is logged.
    d.fake->dialResult = 623;
    d.w->CallClick();
    EXPECT_EQ(d.lastLog(), QStringLiteral("Error 623"));

    d.w->OptionsButton->click();
    EXPECT_TRUE(d.w->OptionsPanel->isVisible());
    EXPECT_EQ(d.w->OptionsPanel->geometry(), d.w->rect());
    d.w->CancelButton->click();  // only hides the panel
    EXPECT_FALSE(d.w->OptionsPanel->isVisible());
    EXPECT_TRUE(d.w->isVisible());
    d.w->OptionsButton->click();
    d.w->OptionsOk->click();
    EXPECT_FALSE(d.w->OptionsPanel->isVisible());
    if (const QString dir = qEnvironmentVariable("KV_SCREENSHOT_DIR"); !dir.isEmpty()) {
        d.w->Log->addItem(QStringLiteral("Opening port"));
        d.w->Log->addItem(QStringLiteral("Connecting device <Office VPN>"));
        d.w->grab().save(dir + QStringLiteral("/dialer.png"));
        d.w->OptionsButton->click();
        d.w->grab().save(dir + QStringLiteral("/dialer_options.png"));
    }
}

TEST(Dialer, ReportsFromAnotherThreadArriveInOrder) {
    Dialer d({"A"});
    d.w->EntryList->setCurrentRow(0);
    d.w->CallClick();
    std::thread service([&] {
        for (int i = 0; i < 200; ++i)
            d.fake->progress(DialReport{i % 2 ? kDeviceConnected : kOpeningPort, 0});
    });
    service.join();
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(d.w->Log->count(), 200);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(d.w->Log->item(i)->text(),
                  i % 2 ? QStringLiteral("Device connected") : QStringLiteral("Opening port"));
}

TEST(Dialer, OptionsComeFromTheSettingsAndTheLanguage) {
    app();
    auto keys = [](const char* key, const char*) { return QString::fromUtf8(key); };
    kv::TFormDialUp w(std::make_unique<FakeService>(), {false, true, true, 42}, keys);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Caption"));
    EXPECT_EQ(w.CallButton->text(), QStringLiteral("Button_Call"));
    EXPECT_FALSE(w.Redial->isChecked());
    EXPECT_TRUE(w.CloseOnBusy->isChecked());
    EXPECT_TRUE(w.CloseOnConnect->isChecked());
    EXPECT_EQ(w.RedialTime->value(), 42);
    EXPECT_EQ(w.EntryList->count(), 0);
}

}  // namespace

namespace {

TEST(NetworkManagerReports, StatesAndReasonsReadAsTheOldCodes) {
    struct Row {
        unsigned state, reason;
        bool reached, hungUp;
        std::optional<DialReport> report;
    };
    const Row rows[] = {
        {kNmActivating, 1, false, false, DialReport{kConnectDevice, 0}},
        {kNmActivated, 1, false, false, DialReport{kConnected, 0}},
        {kNmDeactivating, 2, true, true, std::nullopt},
        {kNmUnknown, 0, false, false, std::nullopt},
        // Asked for: a plain disconnect, whatever the reason says.
        {kNmDeactivated, 3, true, true, DialReport{kDisconnected, 0}},
        {kNmDeactivated, 2, true, false, DialReport{kDisconnected, 0}},  // the user, from the desktop
        // Lost after it was up: dropped by the peer.
        {kNmDeactivated, 3, true, false, DialReport{kDisconnected, kPortDisconnected}},
        // Never up: a timeout or a lost device is "busy", so it redials; the rest a plain failure.
        {kNmDeactivated, 6, false, false, DialReport{kConnectDevice, kLineBusy}},
        {kNmDeactivated, 3, false, false, DialReport{kConnectDevice, kLineBusy}},
        {kNmDeactivated, 9, false, false, DialReport{kConnectDevice, kOtherFailure}},   // no secrets
        {kNmDeactivated, 10, false, false, DialReport{kConnectDevice, kOtherFailure}},  // login failed
    };
    for (const auto& r : rows) {
        const auto got = nmReport(r.state, r.reason, r.reached, r.hungUp);
        ASSERT_EQ(got.has_value(), r.report.has_value()) << r.state << "/" << r.reason;
        if (got) {
            EXPECT_EQ(got->state, r.report->state) << r.state << "/" << r.reason;
            EXPECT_EQ(got->error, r.report->error) << r.state << "/" << r.reason;
        }
    }
    for (const char* t : {"gsm", "cdma", "vpn", "pppoe", "802-11-wireless", "wireguard", "bluetooth"})
        EXPECT_TRUE(isDialableType(t)) << t;
    for (const char* t : {"802-3-ethernet", "bridge", "loopback", ""}) EXPECT_FALSE(isDialableType(t)) << t;
}

TEST(NetworkManagerReports, WithoutAServiceTheWindowListsNothingAndSaysWhy) {
    app();
    kv::TFormDialUp w(kv::dialer::noDialService(), {});
    EXPECT_EQ(w.EntryList->count(), 0);
    w.DialUp->Entry = QStringLiteral("x");
    EXPECT_NE(w.DialUp->Dial(), 0);
    ASSERT_EQ(w.Log->count(), 1);
    EXPECT_TRUE(w.Log->item(0)->text().contains(QStringLiteral("NetworkManager")));
}

}  // namespace
