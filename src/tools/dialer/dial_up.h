#pragma once
// TDialUp: the dialer's link to its service. Turns the service's progress reports, from
// whatever thread they come, into asyncEvent signals on the owner's thread, one at a time
// and in order, with the report's text.
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "tools/dialer/dial_service.h"

namespace kv {

// The progress text of a connection state ("Opening port", ...; empty for an unknown one).
QString dialStateText(int state);

class TDialUp : public QObject {
    Q_OBJECT
public:
    explicit TDialUp(std::unique_ptr<dialer::DialService> service, QObject* parent = nullptr);
    ~TDialUp() override;

    QStringList Entries;
    QString Entry;

    // Fills Entries; returns how many there are.
    int GetEntries();
    // Hangs up the last connection, then dials Entry. Returns 0 or the service's code.
    int Dial();
    void HangUp();

signals:
    void dialing();
    void asyncEvent(int state, int error, const QString& message);
    void error(int code, const QString& message);

private:
    void deliver(dialer::DialReport report);

    std::unique_ptr<dialer::DialService> service_;
    bool dialed_ = false;
};

}  // namespace kv
