#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <memory>

// A private system bus: its own dbus-daemon with a stand-in logind on it. In-process code uses
// `connection()`; a child process gets the bus through `environment()`, which points
// DBUS_SYSTEM_BUS_ADDRESS at it. The stand-in announces sleep and shutdown on request and
// reports the state a test chooses for the session of every process.
class PrivateSystemBus {
public:
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    // Starts the bus and the stand-in logind; false when either could not be started.
    bool start();
    QString address() const { return address_; }
    // A client connection to the bus; the controls below go through it too, so a signal
    // subscription made on it is in place before any announcement they trigger.
    QDBusConnection connection() const;
    QProcessEnvironment
    environment(QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) const;

    bool emitPrepareForSleep(bool start) const;
    bool emitPrepareForShutdown(bool start) const;
    // "online", "active", "closing"; empty puts processes in no session at all.
    bool setSessionState(const QString& state) const;
    // false: looking a session up by pid fails, as for an app in its own systemd scope.
    bool setPidLookup(bool works) const;
    // Takes logind off the bus.
    void stopLogind();

private:
    bool control(const QString& method, const QVariant& argument) const;

    QTemporaryDir dir_;
    QProcess daemon_;
    QProcess logind_;
    QString address_;
    QString connectionName_;
};
