#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

// A message bus of the test's own (dbus-daemon), so services can be played without touching the
// session's. Connections made through connect() are closed with it.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon_.waitForStarted()) return;
        // The address is one line, which may come in more than one piece.
        while (!daemon_.canReadLine() && daemon_.waitForReadyRead(10000)) {
        }
        address = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // A connection to this bus under `name`.
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address, name);
    }

    QString address; // empty when no daemon started

private:
    QProcess daemon_;
    QStringList names_;
};
