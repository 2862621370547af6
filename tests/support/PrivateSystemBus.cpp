#include "support/PrivateSystemBus.h"

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int stopTimeoutMs = 5000;

QByteArray busConfig(const QString& socketPath) {
    return QByteArrayLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
               "1.0//EN\"\n \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <listen>unix:path=") +
           socketPath.toUtf8() +
           QByteArrayLiteral("</listen>\n  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow user=\"*\"/>\n    <allow own=\"*\"/>\n"
                             "    <allow send_destination=\"*\"/>\n"
                             "    <allow receive_sender=\"*\"/>\n"
                             "  </policy>\n</busconfig>\n");
}

// Reads one line of the child's standard output, waiting at most until the deadline.
QByteArray readLine(QProcess& process, const QDeadlineTimer& deadline) {
    while (!process.canReadLine()) {
        if (deadline.hasExpired() || !process.waitForReadyRead(static_cast<int>(
                                         std::max<qint64>(1, deadline.remainingTime()))))
            return {};
    }
    return process.readLine().trimmed();
}

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(stopTimeoutMs)) {
        process.kill();
        process.waitForFinished(stopTimeoutMs);
    }
}

} // namespace

PrivateSystemBus::PrivateSystemBus() = default;

PrivateSystemBus::~PrivateSystemBus() {
    if (!connectionName_.isEmpty())
        QDBusConnection::disconnectFromBus(connectionName_);
    stop(logind_);
    stop(daemon_);
}

bool PrivateSystemBus::start() {
    if (!dir_.isValid())
        return false;
    const QString configPath = dir_.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(busConfig(dir_.filePath(QStringLiteral("system_bus_socket")))) < 0)
        return false;
    config.close();

    const QDeadlineTimer deadline(startTimeoutMs);
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    address_ = QString::fromUtf8(readLine(daemon_, deadline));
    if (address_.isEmpty())
        return false;

    logind_.setProcessEnvironment(environment());
    logind_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    logind_.start(QStringLiteral(SKERROW_STAND_IN_LOGIND_PATH), {});
    if (readLine(logind_, deadline) != "ready")
        return false;

    connectionName_ = QStringLiteral("private-system-bus-") + address_;
    return connection().isConnected();
}

QDBusConnection PrivateSystemBus::connection() const {
    return QDBusConnection::connectToBus(address_, connectionName_);
}

QProcessEnvironment PrivateSystemBus::environment(QProcessEnvironment base) const {
    base.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address_);
    return base;
}

bool PrivateSystemBus::control(const QString& method, const QVariant& argument) const {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/control"),
        QStringLiteral("dev.skerrow.test.LogindControl"), method);
    call << argument;
    return connection().call(call, QDBus::Block, startTimeoutMs).type() ==
           QDBusMessage::ReplyMessage;
}

bool PrivateSystemBus::emitPrepareForSleep(bool start) const {
    return control(QStringLiteral("EmitPrepareForSleep"), start);
}

bool PrivateSystemBus::emitPrepareForShutdown(bool start) const {
    return control(QStringLiteral("EmitPrepareForShutdown"), start);
}

bool PrivateSystemBus::setSessionState(const QString& state) const {
    return control(QStringLiteral("SetSessionState"), state);
}

bool PrivateSystemBus::setPidLookup(bool works) const {
    return control(QStringLiteral("SetPidLookup"), works);
}

void PrivateSystemBus::stopLogind() {
    stop(logind_);
}
