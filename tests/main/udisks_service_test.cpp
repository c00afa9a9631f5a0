// The udisks2 client against a stand-in udisks2 on a private message bus: what it reads
// from the object manager, the Format call it makes, and the word when no udisks2 runs.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QThread>

#include <mutex>

#include "main/format/udisks_service.h"
#include "main_window_fixture.h"

namespace {

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QDBusObjectPath, Interfaces>;

const QString kBlocks = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
const QString kDrives = QStringLiteral("/org/freedesktop/UDisks2/drives/");
const QString kBlockIf = QStringLiteral("org.freedesktop.UDisks2.Block");

QByteArray zeroEnded(const char* s) { return QByteArray(s, static_cast<int>(qstrlen(s)) + 1); }

class FakeUDisks : public QDBusVirtualObject {
public:
    struct Call {
        QString path, type;
        QVariantMap options;
    };
    std::mutex m;
    std::vector<Call> calls;

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& msg, const QDBusConnection& c) override {
        if (msg.member() == QLatin1String("GetManagedObjects")) {
            c.send(msg.createReply(QVariant::fromValue(objects())));
            return true;
        }
        if (msg.member() == QLatin1String("Format") && msg.interface() == kBlockIf) {
            const auto args = msg.arguments();
            Call call{msg.path(), args.value(0).toString(), {}};
            if (args.size() > 1) call.options = qdbus_cast<QVariantMap>(args[1]);
            {
                std::lock_guard lock(m);
                calls.push_back(call);
            }
            c.send(call.path.endsWith(QLatin1String("sdb"))
                       ? msg.createReply()
                       : msg.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                              QStringLiteral("Not a disk")));
            return true;
        }
        return false;
    }

    static Objects objects() {
        auto block = [](const char* dev, quint64 size, const QString& drive, bool system) {
            QVariantMap b;
            b[QStringLiteral("Device")] = zeroEnded(dev);
            b[QStringLiteral("Size")] = QVariant::fromValue(size);
            b[QStringLiteral("Drive")] =
                QVariant::fromValue(QDBusObjectPath(drive.isEmpty() ? QStringLiteral("/") : drive));
            b[QStringLiteral("CryptoBackingDevice")] =
                QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
            b[QStringLiteral("HintSystem")] = system;
            return b;
        };
        auto mounts = [](std::initializer_list<const char*> list) {
            QList<QByteArray> out;
            for (const char* s : list) out << zeroEnded(s);
            QVariantMap fs;
            fs[QStringLiteral("MountPoints")] = QVariant::fromValue(out);
            return fs;
        };
        auto partOf = [](const QString& disk) {
            QVariantMap p;
            p[QStringLiteral("Table")] = QVariant::fromValue(QDBusObjectPath(kBlocks + disk));
            return p;
        };
        auto drive = [](const char* vendor, const char* model, bool removable) {
            QVariantMap d;
            d[QStringLiteral("Vendor")] = QString::fromLatin1(vendor);
            d[QStringLiteral("Model")] = QString::fromLatin1(model);
            d[QStringLiteral("Removable")] = removable;
            d[QStringLiteral("MediaRemovable")] = false;
            d[QStringLiteral("Optical")] = false;
            return d;
        };
        const QString fsIf = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
        const QString partIf = QStringLiteral("org.freedesktop.UDisks2.Partition");
        const QString driveIf = QStringLiteral("org.freedesktop.UDisks2.Drive");
        Objects o;
        o[QDBusObjectPath(kBlocks + "sda")] = {
            {kBlockIf, block("/dev/sda", 500000000000ULL, kDrives + "ata", true)}};
        o[QDBusObjectPath(kBlocks + "sda1")] = {{kBlockIf, block("/dev/sda1", 499000000000ULL, {}, true)},
                                                {partIf, partOf("sda")},
                                                {fsIf, mounts({"/", "/home"})}};
        o[QDBusObjectPath(kBlocks + "sdb")] = {
            {kBlockIf, block("/dev/sdb", 4000000000ULL, kDrives + "stick", false)}};
        o[QDBusObjectPath(kBlocks + "sdb1")] = {{kBlockIf, block("/dev/sdb1", 3990000000ULL, {}, false)},
                                                {partIf, partOf("sdb")},
                                                {fsIf, mounts({"/media/me/STICK"})}};
        o[QDBusObjectPath(kBlocks + "loop0")] = {{kBlockIf, block("/dev/loop0", 1000000ULL, {}, false)}};
        o[QDBusObjectPath(kDrives + "ata")] = {{driveIf, drive("ATA", "Samsung SSD", false)}};
        o[QDBusObjectPath(kDrives + "stick")] = {{driveIf, drive("SanDisk  ", "Cruzer Blade", true)}};
        return o;
    }
};

// A private message bus for the test's life.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                      QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000)) return;
        for (int i = 0; i < 50 && address_.isEmpty(); ++i) {
            daemon_.waitForReadyRead(100);
            address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
    const QString& address() const { return address_; }

private:
    QProcess daemon_;
    QString address_;
};

// The stand-in service, on its own thread, as a real one answers from another process.
class ServiceThread : public QThread {
public:
    ServiceThread(QString address, FakeUDisks* fake) : address_(std::move(address)), fake_(fake) {}
    std::atomic<bool> ready{false};

protected:
    void run() override {
        {
            QDBusConnection c = QDBusConnection::connectToBus(address_, QStringLiteral("kv_fake_udisks"));
            c.registerVirtualObject(QStringLiteral("/org/freedesktop/UDisks2"), fake_,
                                    QDBusConnection::SubPath);
            c.registerService(QStringLiteral("org.freedesktop.UDisks2"));
            ready = true;
            exec();
            c.unregisterObject(QStringLiteral("/org/freedesktop/UDisks2"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("kv_fake_udisks"));
    }

private:
    QString address_;
    FakeUDisks* fake_;
};

}  // namespace

TEST(UDisksService, ReadsTheDisksAndFormatsThroughAPrivateBus) {
    kvtest::app();
    qDBusRegisterMetaType<QList<QByteArray>>();
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<Objects>();
    PrivateBus bus;
    if (bus.address().isEmpty()) GTEST_SKIP() << "no dbus-daemon to run a private bus";
    {
        QDBusConnection client =
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("kv_udisks_client"));
        ASSERT_TRUE(client.isConnected());
        auto service = kv::format::makeUDisksService(client);
        std::string why;
        EXPECT_FALSE(service->available(why)) << "no udisks2 on the bus yet";
        EXPECT_EQ(why, "the disk service udisks2 is not installed or not running");

        FakeUDisks fake;
        ServiceThread server(bus.address(), &fake);
        fake.moveToThread(&server);
        server.start();
        QTRY_VERIFY_WITH_TIMEOUT(server.ready.load(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(service->available(why), 5000);

        std::vector<kv::format::BlockRecord> blocks;
        std::vector<kv::format::DriveRecord> drives;
        std::string error;
        ASSERT_TRUE(service->inventory(blocks, drives, error)) << error;
        ASSERT_EQ(blocks.size(), 5u);
        ASSERT_EQ(drives.size(), 2u);
        auto find = [&](const std::string& dev) -> const kv::format::BlockRecord* {
            for (const auto& b : blocks)
                if (b.device == dev) return &b;
            return nullptr;
        };
        ASSERT_NE(find("/dev/sda1"), nullptr);
        EXPECT_EQ(find("/dev/sda1")->mountPoints, (std::vector<std::string>{"/", "/home"}));
        EXPECT_EQ(find("/dev/sda1")->partitionTable, (kBlocks + "sda").toStdString());
        EXPECT_TRUE(find("/dev/loop0")->drive.empty()) << "the path \"/\" means none";
        EXPECT_EQ(find("/dev/sdb")->size, 4000000000ULL);
        const auto offered = kv::format::formatCandidates(blocks, drives);
        ASSERT_EQ(offered.size(), 1u);
        EXPECT_EQ(kv::format::candidateText(offered[0]), "/dev/sdb  SanDisk Cruzer Blade  4.0 GB");

        // Format: the service gets the disk, the file system and the options; its error
        // comes back as it words it.
        std::vector<std::string> answers;
        kv::format::FormatRequest req;
        req.label = "KV";
        service->format(offered[0].objectPath, req,
                        [&](const std::string& e) { answers.push_back("ok:" + e); });
        req.quick = true;
        service->format((kBlocks + "sda").toStdString(), req,
                        [&](const std::string& e) { answers.push_back(e); });
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), size_t(2), 5000);
        EXPECT_EQ(answers[0], "ok:");
        EXPECT_EQ(answers[1], "Not a disk");
        {
            std::lock_guard lock(fake.m);
            ASSERT_EQ(fake.calls.size(), 2u);
            EXPECT_EQ(fake.calls[0].path, kBlocks + "sdb");
            EXPECT_EQ(fake.calls[0].type, QStringLiteral("vfat"));
            EXPECT_EQ(fake.calls[0].options.value(QStringLiteral("label")).toString(), QStringLiteral("KV"));
            EXPECT_EQ(fake.calls[0].options.value(QStringLiteral("erase")).toString(),
                      QStringLiteral("zero"));
            EXPECT_TRUE(fake.calls[0].options.value(QStringLiteral("tear-down")).toBool());
            EXPECT_FALSE(fake.calls[1].options.contains(QStringLiteral("erase")))
                << "a quick format erases nothing";
        }
        server.quit();
        server.wait(5000);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("kv_udisks_client"));
}
