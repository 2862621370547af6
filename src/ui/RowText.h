#pragma once

#include "router/Visitors.h"

#include <QDateTime>
#include <QString>
#include <utility>

// The label cut at its first " · ": the head, and the rest joined again (empty when the label has
// no separator).
std::pair<QString, QString> split(const QString& label);

// The time left until `date` as a short text: "<1m", "42m", "3h", "1h 5m".
QString remaining(const QDateTime& date, const QDateTime& now);

// The visitors line of a link from its router summary.
QString visitorsLabel(const Visitors& visitors, const QDateTime& now);

// The app row's second line: the label's tail (or "Local app"), then the port.
QString appSubtitle(const QString& label, qint64 port);
