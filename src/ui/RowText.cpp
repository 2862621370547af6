#include "ui/RowText.h"

#include <QStringList>

namespace {

const QString separator = QStringLiteral(" \u00B7 ");
constexpr qint64 secondsPerMinute = 60;
constexpr qint64 minutesPerHour = 60;
// Past this many minutes a last visit is just "earlier".
constexpr qint64 recentVisitMinutes = 59;

} // namespace

std::pair<QString, QString> split(const QString& label) {
    QStringList pieces = label.split(separator);
    const QString head = pieces.takeFirst();
    return {head, pieces.join(separator)};
}

QString remaining(const QDateTime& date, const QDateTime& now) {
    const qint64 seconds = now.secsTo(date);
    if (seconds < secondsPerMinute)
        return QStringLiteral("<1m");
    const qint64 minutes = seconds / secondsPerMinute;
    if (minutes < minutesPerHour)
        return QStringLiteral("%1m").arg(minutes);
    const qint64 hours = minutes / minutesPerHour;
    const qint64 rest = minutes % minutesPerHour;
    if (rest == 0)
        return QStringLiteral("%1h").arg(hours);
    return QStringLiteral("%1h %2m").arg(hours).arg(rest);
}

QString visitorsLabel(const Visitors& visitors, const QDateTime& now) {
    if (visitors.active >= 2)
        return QStringLiteral("%1 active visitors").arg(visitors.active);
    if (visitors.active == 1)
        return QStringLiteral("1 active visitor");
    if (!visitors.lastSeen)
        return QStringLiteral("No visitors yet");
    const qint64 seconds = visitors.lastSeen->secsTo(now);
    if (seconds < secondsPerMinute)
        return QStringLiteral("Visited just now");
    const qint64 minutes = seconds / secondsPerMinute;
    if (minutes == 1)
        return QStringLiteral("Visited 1 min ago");
    if (minutes > recentVisitMinutes)
        return QStringLiteral("Visited earlier");
    return QStringLiteral("Visited %1 min ago").arg(minutes);
}

QString appSubtitle(const QString& label, qint64 port) {
    const auto [head, tail] = split(label);
    const QString first = (!tail.isEmpty() && tail != head) ? tail : QStringLiteral("Local app");
    return first + separator + QString::number(port);
}
