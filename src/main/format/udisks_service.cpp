// udisks2 over the system D-Bus: the object manager lists blocks and drives, the Block
// interface's Format method formats. The call is asynchronous, so a long full format
// never holds the window.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QMap>
#include <QVariantMap>

#include "main/format/udisks_service.h"

using UDisksInterfaces = QMap<QString, QVariantMap>;
using UDisksObjects = QMap<QDBusObjectPath, UDisksInterfaces>;

namespace kv::format {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kPartition = QStringLiteral("org.freedesktop.UDisks2.Partition");
const QString kFilesystem = QStringLiteral("org.freedesktop.UDisks2.Filesystem");
const QString kDrive = QStringLiteral("org.freedesktop.UDisks2.Drive");
constexpr int kFormatTimeoutMs = 6 * 60 * 60 * 1000;  // a full format of a big stick

// "ay" values are NUL-terminated paths.
std::string bytesText(const QVariant& v) {
    QByteArray b = v.toByteArray();
    if (b.endsWith('\0')) b.chop(1);
    return b.toStdString();
}

std::string pathText(const QVariant& v) {
    const QString p = v.value<QDBusObjectPath>().path();
    return p == QLatin1String("/") ? std::string() : p.toStdString();
}

std::vector<std::string> mountPointsOf(const QVariant& v) {
    std::vector<std::string> out;
    if (v.userType() != qMetaTypeId<QDBusArgument>()) return out;
    const QDBusArgument arg = v.value<QDBusArgument>();
    arg.beginArray();
    while (!arg.atEnd()) {
        QByteArray b;
        arg >> b;
        if (b.endsWith('\0')) b.chop(1);
        out.push_back(b.toStdString());
    }
    arg.endArray();
    return out;
}

class UDisksService : public DiskService {
public:
    explicit UDisksService(const QDBusConnection& bus) : bus_(bus) {
        qDBusRegisterMetaType<UDisksInterfaces>();
        qDBusRegisterMetaType<UDisksObjects>();
    }

    bool available(std::string& why) override {
        if (!bus_.isConnected()) {
            why = "the system message bus cannot be reached";
            return false;
        }
        QDBusConnectionInterface* names = bus_.interface();
        if (names && names->isServiceRegistered(kService).value()) return true;
        const QDBusReply<QStringList> activatable =
            names ? names->call(QStringLiteral("ListActivatableNames")) : QDBusReply<QStringList>();
        if (activatable.isValid() && activatable.value().contains(kService)) return true;
        why = "the disk service udisks2 is not installed or not running";
        return false;
    }

    bool inventory(std::vector<BlockRecord>& blocks, std::vector<DriveRecord>& drives,
                   std::string& error) override {
        QDBusMessage call = QDBusMessage::createMethodCall(
            kService, kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
            QStringLiteral("GetManagedObjects"));
        const QDBusReply<UDisksObjects> reply = bus_.call(call, QDBus::Block, 10000);
        if (!reply.isValid()) {
            error = reply.error().message().toStdString();
            return false;
        }
        const UDisksObjects objects = reply.value();
        for (auto it = objects.begin(); it != objects.end(); ++it) {
            const UDisksInterfaces& ifs = it.value();
            const std::string path = it.key().path().toStdString();
            if (ifs.contains(kBlock)) {
                const QVariantMap& b = ifs[kBlock];
                BlockRecord r;
                r.objectPath = path;
                r.device = bytesText(b.value(QStringLiteral("Device")));
                r.size = b.value(QStringLiteral("Size")).toULongLong();
                r.drive = pathText(b.value(QStringLiteral("Drive")));
                r.cryptoBacking = pathText(b.value(QStringLiteral("CryptoBackingDevice")));
                r.hintSystem = b.value(QStringLiteral("HintSystem")).toBool();
                if (ifs.contains(kPartition))
                    r.partitionTable = pathText(ifs[kPartition].value(QStringLiteral("Table")));
                if (ifs.contains(kFilesystem))
                    r.mountPoints = mountPointsOf(ifs[kFilesystem].value(QStringLiteral("MountPoints")));
                blocks.push_back(std::move(r));
            }
            if (ifs.contains(kDrive)) {
                const QVariantMap& d = ifs[kDrive];
                DriveRecord r;
                r.objectPath = path;
                r.vendor = d.value(QStringLiteral("Vendor")).toString().trimmed().toStdString();
                r.model = d.value(QStringLiteral("Model")).toString().trimmed().toStdString();
                r.removable = d.value(QStringLiteral("Removable")).toBool();
                r.mediaRemovable = d.value(QStringLiteral("MediaRemovable")).toBool();
                r.optical = d.value(QStringLiteral("Optical")).toBool();
                drives.push_back(std::move(r));
            }
        }
        return true;
    }

    void format(const std::string& objectPath, const FormatRequest& request,
                std::function<void(const std::string& error)> done) override {
        QVariantMap options;
        if (!request.label.empty()) options[QStringLiteral("label")] = QString::fromStdString(request.label);
        if (!request.quick) options[QStringLiteral("erase")] = QStringLiteral("zero");
        // Mounted file systems on the disk are unmounted first.
        options[QStringLiteral("tear-down")] = true;
        QDBusMessage call = QDBusMessage::createMethodCall(kService, QString::fromStdString(objectPath),
                                                           kBlock, QStringLiteral("Format"));
        call << QString::fromStdString(request.type) << options;
        call.setInteractiveAuthorizationAllowed(true);
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kFormatTimeoutMs));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [done = std::move(done)](QDBusPendingCallWatcher* w) {
                             const QDBusPendingReply<> reply = *w;
                             w->deleteLater();
                             done(reply.isError() ? reply.error().message().toStdString() : std::string());
                         });
    }

private:
    QDBusConnection bus_;
};

}  // namespace

std::unique_ptr<DiskService> makeUDisksService(const QDBusConnection& bus) {
    return std::make_unique<UDisksService>(bus);
}

std::unique_ptr<DiskService> makeUDisksService() { return makeUDisksService(QDBusConnection::systemBus()); }

std::function<std::unique_ptr<DiskService>()>& diskServiceFactory() {
    static std::function<std::unique_ptr<DiskService>()> make = [] { return makeUDisksService(); };
    return make;
}

}  // namespace kv::format
