#include "support/PrivateSessionBus.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

QByteArray busConfig(const QString& socketPath, const QString& serviceDirectory) {
    return QByteArrayLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n  <listen>unix:path=") +
           socketPath.toUtf8() + QByteArrayLiteral("</listen>\n  <servicedir>") +
           serviceDirectory.toUtf8() +
           QByteArrayLiteral("</servicedir>\n  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                             "    <allow send_destination=\"*\"/>\n"
                             "    <allow receive_sender=\"*\"/>\n"
                             "  </policy>\n</busconfig>\n");
}

} // namespace

PrivateSessionBus::PrivateSessionBus() = default;

PrivateSessionBus::~PrivateSessionBus() {
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    if (daemon_.state() == QProcess::NotRunning)
        return;
    daemon_.terminate();
    if (!daemon_.waitForFinished(stopTimeoutMs)) {
        daemon_.kill();
        daemon_.waitForFinished(stopTimeoutMs);
    }
}

bool PrivateSessionBus::start(const QString& serviceDirectory,
                              const QProcessEnvironment& serviceEnvironment) {
    if (!dir_.isValid())
        return false;
    const QString configPath = dir_.filePath(QStringLiteral("session.conf"));
    const QString socketPath = dir_.filePath(QStringLiteral("session_bus_socket"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(busConfig(socketPath, serviceDirectory)) < 0)
        return false;
    config.close();

    // A service the daemon starts finds its session bus as in a real session.
    QProcessEnvironment environment = serviceEnvironment;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + socketPath);
    daemon_.setProcessEnvironment(environment);
    daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!daemon_.canReadLine()) {
        if (deadline.hasExpired() || !daemon_.waitForReadyRead(static_cast<int>(
                                         std::max<qint64>(1, deadline.remainingTime()))))
            return false;
    }
    address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    connectionName_ = QStringLiteral("private-session-bus-") + address_;
    return !address_.isEmpty() && connection().isConnected();
}

QDBusConnection PrivateSessionBus::connection() const {
    return QDBusConnection::connectToBus(address_, connectionName_);
}

QProcessEnvironment PrivateSessionBus::environment(QProcessEnvironment base) const {
    base.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    return base;
}
