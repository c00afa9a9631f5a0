#include "tools/dialer/dial_up.h"

#include <QMetaObject>
#include <QPointer>

#include <map>

namespace kv {

QString dialStateText(int state) {
    static const std::map<int, const char*> texts = {
        {0, "Opening port"},
        {1, "Port opened"},
        {2, "Connecting device"},
        {3, "Device connected"},
        {4, "All devices connected"},
        {5, "Start authenticating"},
        {6, "Authentication: notify"},
        {7, "Authentication: retry"},
        {8, "Authentication: callback"},
        {9, "Authentication: change password"},
        {10, "Authentication: projecting"},
        {11, "Authentication: link speed"},
        {12, "Authentication: acknowledge"},
        {13, "Authentication: reauthenticate"},
        {14, "Authenticated"},
        {15, "Preparing for callback"},
        {16, "Waiting for modem reset"},
        {17, "Waiting for callback"},
        {18, "Projected"},
        {19, "Start authentication"},
        {20, "Callback complete"},
        {21, "Logging on network"},
        {4096, "Interactive"},
        {4097, "Retry Authentication"},
        {4098, "Callback set by caller"},
        {4099, "Password expired"},
        {8192, "Connected"},
        {8193, "Disconnected"},
    };
    auto it = texts.find(state);
    return it == texts.end() ? QString() : QString::fromUtf8(it->second);
}

TDialUp::TDialUp(std::unique_ptr<dialer::DialService> service, QObject* parent)
    : QObject(parent), service_(std::move(service)) {}

// The service goes first, so no report is made after the object it reports to.
TDialUp::~TDialUp() { service_.reset(); }

int TDialUp::GetEntries() {
    Entries.clear();
    if (!service_) return 0;
    for (const auto& name : service_->entries()) Entries << QString::fromStdString(name);
    return static_cast<int>(Entries.size());
}

int TDialUp::Dial() {
    if (!service_) return dialer::kOtherFailure;
    HangUp();
    emit dialing();
    // A queued call keeps the reports in order and brings each to this object's thread;
    // one that arrives after this object is gone is dropped.
    QPointer<TDialUp> self(this);
    const int code = service_->dial(Entry.toStdString(), [self](dialer::DialReport r) {
        QMetaObject::invokeMethod(
            self.data(),
            [self, r] {
                if (self) self->deliver(r);
            },
            Qt::QueuedConnection);
    });
    dialed_ = code == 0;
    if (code != 0) emit error(code, QString::fromStdString(service_->errorText(code)).left(100));
    return code;
}

void TDialUp::HangUp() {
    if (service_ && dialed_) service_->hangUp();
    dialed_ = false;
}

void TDialUp::deliver(dialer::DialReport r) {
    const QString text =
        r.error ? QString::fromStdString(service_->errorText(r.error)).left(100) : dialStateText(r.state);
    emit asyncEvent(r.state, r.error, text);
}

}  // namespace kv
