// The pppd side of the dialer: its peers, its messages and exit codes as progress, and a
// whole call through a stand-in pppd script that connects, or gives up as a busy line would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <signal.h>
#include <vector>

#include "tools/dialer/pppd_dial_service.h"
#include "tools/dialer/pppd_reports.h"

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

TEST(PppdReports, MessagesAndExitCodes) {
    EXPECT_EQ(pppdLineReport("Serial connection established.\n")->state, kDeviceConnected);
    EXPECT_EQ(pppdLineReport("Connect: ppp0 <--> /dev/ttyUSB0")->state, kAuthenticate);
    EXPECT_EQ(pppdLineReport("PAP authentication succeeded")->state, kAuthenticated);
    EXPECT_EQ(pppdLineReport("local  IP address 10.64.1.2")->state, kConnected);
    EXPECT_FALSE(pppdLineReport("using channel 3"));
    EXPECT_EQ(pppdInterface("Using interface ppp0\n"), "ppp0");
    EXPECT_EQ(pppdInterface("Serial connection established."), "");
    EXPECT_EQ(pppdPid("4242\nppp0\n"), 4242);
    for (const char* bad : {"", "ppp0\n", "1\n", "0", "99999999999\n"}) EXPECT_EQ(pppdPid(bad), 0) << bad;

    struct Row {
        int code;
        bool reached, hungUp;
        int state, error;
    };
    const Row rows[] = {
        {8, false, false, kConnectDevice, kLineBusy},         // chat gave up: BUSY / NO CARRIER
        {16, true, false, kDisconnected, kPortDisconnected},  // the modem hung up
        {15, true, false, kDisconnected, kPortDisconnected},  // the peer stopped answering
        {0, true, false, kDisconnected, kPortDisconnected},   // up, then gone
        {5, true, true, kDisconnected, 0},                    // we hung up
        {16, true, true, kDisconnected, 0},
        {19, false, false, kConnectDevice, kOtherFailure},  // authentication refused
        {2, false, false, kConnectDevice, kOtherFailure},   // bad options
    };
    for (const auto& r : rows) {
        const DialReport got = pppdExitReport(r.code, r.reached, r.hungUp);
        EXPECT_EQ(got.state, r.state) << r.code;
        EXPECT_EQ(got.error, r.error) << r.code;
    }
}

// Ended: no such process, or a zombie its new parent has not reaped yet.
bool gone(int pid) {
    if (::kill(pid, 0) != 0) return true;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

struct FakePppd {
    QTemporaryDir dir;
    std::string peers = dir.path().toStdString() + "/peers";
    QString program = dir.filePath(QStringLiteral("pppd"));
    FakePppd() {
        std::filesystem::create_directories(peers);
        for (const char* name : {"provider", "busy", "provider~", ".hidden", "old.dpkg-old"})
            std::ofstream(peers + "/" + name) << "/dev/ttyUSB0\n";
        std::filesystem::create_directories(peers + "/folder");
        // Like pppd with updetach: messages until the link is up, then a background process
        // that the pid file names, and the foreground one ends with 0.
        std::ofstream(program.toStdString())
            << "#!/bin/sh\n"
               "[ \"$1\" = call ] && [ \"$3\" = updetach ] || exit 2\n"
               "case \"$2\" in\n"
               "busy) echo 'BUSY'; echo 'Connect script failed'; exit 8;;\n"
               "*) echo 'Serial connection established.'\n"
               "   echo 'Using interface ppp7'\n"
               "   echo 'Connect: ppp7 <--> /dev/ttyUSB0'\n"
               "   echo 'local  IP address 10.64.1.2'\n"
               "   sleep 30 >/dev/null 2>&1 &\n"
               "   printf '%s\\nppp7\\n' $! > \"$(dirname \"$0\")/ppp7.pid\"\n"
               "   exit 0;;\n"
               "esac\n";
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
};

TEST(PppdService, PeersConnectHangUpAndBusy) {
    app();
    FakePppd fake;
    auto service = pppdService(fake.peers, fake.program, fake.dir.path().toStdString());
    EXPECT_EQ(service->entries(), (std::vector<std::string>{"busy", "provider"}));
    std::vector<DialReport> got;
    auto collect = [&](DialReport r) { got.push_back(r); };

    EXPECT_NE(service->dial("nobody", collect), 0);
    EXPECT_TRUE(got.empty());

    ASSERT_EQ(service->dial("provider", collect), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !got.empty() && got.back().state == kConnected; }, 5000));
    std::vector<int> states;
    for (const auto& r : got) states.push_back(r.state);
    EXPECT_EQ(states, (std::vector<int>{kOpeningPort, kDeviceConnected, kAuthenticate, kConnected}));
    // The foreground pppd ends once the link is up: that is no drop.
    QTest::qWait(300);
    EXPECT_EQ(got.back().state, kConnected);
    QFile pidFile(fake.dir.filePath(QStringLiteral("ppp7.pid")));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const int pid = pppdPid(pidFile.readAll().toStdString());
    ASSERT_GT(pid, 1);
    EXPECT_EQ(::kill(pid, 0), 0);
    service->hangUp();
    EXPECT_EQ(got.back().state, kDisconnected);
    EXPECT_EQ(got.back().error, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return gone(pid); }, 5000)) << "the background pppd was stopped";

    got.clear();
    ASSERT_EQ(service->dial("busy", collect), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() >= 2; }, 5000));
    EXPECT_EQ(got.back().error, kLineBusy);

    // A pppd that cannot be started is an error at once.
    auto missing = pppdService(fake.peers, fake.dir.filePath(QStringLiteral("no-such-pppd")));
    got.clear();
    EXPECT_EQ(missing->dial("provider", collect), kOtherFailure);
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(missing->errorText(kOtherFailure).empty());
}

}  // namespace
