#pragma once

#include <QString>

// The status texts and log lines of health repair and reconciliation, written exactly as the
// user and the journal see them.
namespace HealthTexts {

inline const QString reconnecting = QStringLiteral("Reconnecting\u2026");
inline const QString unreachableRetrying = QStringLiteral("Links unreachable \u2014 retrying");
inline const QString stuckResetting = QStringLiteral("Stuck \u2014 resetting\u2026");
inline const QString linkEnded = QStringLiteral("Link ended");

// Texts a healthy cycle takes off the status line; any other text stays.
bool clearedWhenHealthy(const QString& status);

QString healthyAgain(qint64 repairs);
QString restarting(qint64 elapsedSeconds, bool ready, bool router, qint64 live, qint64 number);
QString cycling();
QString neverReady();
QString rejected();
QString offline(const QString& reason);
QString endedDropping(const QString& host);
QString reconcileFailed(const QString& reason);
// Another program holds one of our ports; `command` may be empty.
QString portHeld(qint64 port, const QString& command, qint64 pid);

} // namespace HealthTexts
