#include "app/HealthTexts.h"

namespace {

QString word(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

namespace HealthTexts {

bool clearedWhenHealthy(const QString& status) {
    return status == reconnecting || status == unreachableRetrying;
}

QString healthyAgain(qint64 repairs) {
    return QStringLiteral("healthy again after %1 repairs").arg(repairs);
}

QString restarting(qint64 elapsedSeconds, bool ready, bool router, qint64 live, qint64 number) {
    return QStringLiteral("unhealthy %1s (ready=%2 router=%3 live=%4) \u2014 restart #%5")
        .arg(elapsedSeconds)
        .arg(word(ready), word(router))
        .arg(live)
        .arg(number);
}

QString cycling() {
    return QStringLiteral(
        "tunnel registered but public path dead after 3 restarts \u2014 server-side; cycling");
}

QString neverReady() {
    return QStringLiteral(
        "cloudflared never ready after 3 restarts, install valid \u2014 resetting");
}

QString rejected() {
    return QStringLiteral("install rejected by API \u2014 clearing");
}

QString offline(const QString& reason) {
    return QStringLiteral("API unreachable (%1) \u2014 offline, waiting").arg(reason);
}

QString endedDropping(const QString& host) {
    return QStringLiteral("%1 ended server-side \u2014 dropping").arg(host);
}

QString reconcileFailed(const QString& reason) {
    return QStringLiteral("reconcile failed: %1").arg(reason);
}

QString portHeld(qint64 port, const QString& command, qint64 pid) {
    const QString holder = command.isEmpty() ? QStringLiteral("another program") : command;
    return QStringLiteral("Port %1 in use by %2 (pid %3) \u2014 waiting\u2026")
        .arg(port)
        .arg(holder)
        .arg(pid);
}

} // namespace HealthTexts
