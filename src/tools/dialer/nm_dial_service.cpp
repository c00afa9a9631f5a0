#include "tools/dialer/nm_dial_service.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QObject>

#include <map>

#include "tools/dialer/nm_reports.h"

namespace kv::dialer {

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kActiveInterface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");

using SettingsMap = QMap<QString, QVariantMap>;

// Receives the active connection's StateChanged signal.
class StateListener : public QObject {
    Q_OBJECT
public:
    std::function<void(unsigned, unsigned)> onState;
public slots:
    void stateChanged(uint state, uint reason) {
        if (onState) onState(state, reason);
    }
};

class NmDialService : public DialService {
public:
    NmDialService() : bus_(QDBusConnection::systemBus()) { qDBusRegisterMetaType<SettingsMap>(); }
    ~NmDialService() override { stopListening(); }

    std::vector<std::string> entries() override {
        paths_.clear();
        std::vector<std::string> names;
        QDBusInterface settings(kService, kPath + QStringLiteral("/Settings"),
                                QStringLiteral("org.freedesktop.NetworkManager.Settings"), bus_);
        QDBusReply<QList<QDBusObjectPath>> list = settings.call(QStringLiteral("ListConnections"));
        if (!list.isValid()) return names;
        for (const QDBusObjectPath& path : list.value()) {
            QDBusInterface c(kService, path.path(),
                             QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection"), bus_);
            QDBusReply<SettingsMap> s = c.call(QStringLiteral("GetSettings"));
            if (!s.isValid()) continue;
            const QVariantMap connection = s.value().value(QStringLiteral("connection"));
            const std::string id = connection.value(QStringLiteral("id")).toString().toStdString();
            const std::string type = connection.value(QStringLiteral("type")).toString().toStdString();
            if (id.empty() || !isDialableType(type) || paths_.count(id)) continue;
            paths_[id] = path.path();
            names.push_back(id);
        }
        return names;
    }

    int dial(const std::string& entry, Progress progress) override {
        if (paths_.empty()) entries();
        auto it = paths_.find(entry);
        if (it == paths_.end()) return kOtherFailure;
        QDBusInterface nm(kService, kPath, kService, bus_);
        QDBusReply<QDBusObjectPath> active =
            nm.call(QStringLiteral("ActivateConnection"), QVariant::fromValue(QDBusObjectPath(it->second)),
                    QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))),
                    QVariant::fromValue(QDBusObjectPath(QStringLiteral("/"))));
        if (!active.isValid()) {
            lastError_ = active.error().message().toStdString();
            return kOtherFailure;
        }
        stopListening();
        active_ = active.value().path();
        reached_ = false;
        hungUp_ = false;
        progress(DialReport{kOpeningPort, 0});
        listener_ = std::make_unique<StateListener>();
        listener_->onState = [this, progress](unsigned state, unsigned reason) {
            const bool wasReached = reached_;
            if (state == kNmActivated) reached_ = true;
            if (auto r = nmReport(state, reason, wasReached, hungUp_)) progress(*r);
        };
        bus_.connect(kService, active_, kActiveInterface, QStringLiteral("StateChanged"), listener_.get(),
                     SLOT(stateChanged(uint, uint)));
        return 0;
    }

    void hangUp() override {
        if (active_.isEmpty()) return;
        hungUp_ = true;
        QDBusInterface nm(kService, kPath, kService, bus_);
        nm.call(QStringLiteral("DeactivateConnection"), QVariant::fromValue(QDBusObjectPath(active_)));
    }

    std::string errorText(int code) override {
        std::string text;
        switch (code) {
            case kLineBusy: text = "The line is busy or the other side does not answer."; break;
            case kPortDisconnected: text = "The connection was dropped by the other side."; break;
            default: text = lastError_.empty() ? "The connection could not be made." : lastError_; break;
        }
        return text.substr(0, 100);
    }

private:
    void stopListening() {
        if (listener_)
            bus_.disconnect(kService, active_, kActiveInterface, QStringLiteral("StateChanged"),
                            listener_.get(), SLOT(stateChanged(uint, uint)));
        listener_.reset();
    }

    QDBusConnection bus_;
    std::map<std::string, QString> paths_;
    QString active_;
    bool reached_ = false;
    bool hungUp_ = false;
    std::string lastError_;
    std::unique_ptr<StateListener> listener_;
};

class NoDialService : public DialService {
public:
    std::vector<std::string> entries() override { return {}; }
    int dial(const std::string&, Progress) override { return kOtherFailure; }
    void hangUp() override {}
    std::string errorText(int) override {
        return "No connection manager (NetworkManager) runs on this system.";
    }
};

}  // namespace

std::unique_ptr<DialService> networkManagerService() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(kService))
        return nullptr;
    return std::make_unique<NmDialService>();
}

std::unique_ptr<DialService> noDialService() { return std::make_unique<NoDialService>(); }

}  // namespace kv::dialer

#include "nm_dial_service.moc"
