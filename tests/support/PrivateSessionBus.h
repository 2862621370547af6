#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

// A private session bus: its own dbus-daemon that starts services from the service files in a
// folder of the test's choice, each in the environment the daemon was started with. In-process
// code uses `connection()`; a child process gets the bus through `environment()`.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus&) = delete;
    PrivateSessionBus& operator=(const PrivateSessionBus&) = delete;

    // Starts the daemon; services it starts inherit `serviceEnvironment`.
    bool start(const QString& serviceDirectory, const QProcessEnvironment& serviceEnvironment);
    QString address() const { return address_; }
    QDBusConnection connection() const;
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
};
