#include "control/LinkEntries.h"

#include <QDBusMetaType>
#include <QJsonObject>

namespace {

const QString hostKey = QStringLiteral("host");
const QString urlKey = QStringLiteral("url");
const QString portKey = QStringLiteral("port");
const QString projectKey = QStringLiteral("project");
const QString expiresKey = QStringLiteral("expiresAt");
const QString visitorsKey = QStringLiteral("visitors");
const QString lastSeenKey = QStringLiteral("lastSeen");
constexpr qint64 secondsPerMinute = 60;
constexpr qint64 minutesPerHour = 60;
constexpr qint64 msecsPerSecond = 1000;

QString isoOfMsecs(const QVariant& msecs) {
    return QDateTime::fromMSecsSinceEpoch(msecs.toLongLong(), Qt::UTC).toString(Qt::ISODateWithMs);
}

QString timeLeft(qint64 seconds) {
    if (seconds < secondsPerMinute)
        return QStringLiteral("<1m left");
    const qint64 minutes = seconds / secondsPerMinute;
    if (minutes < minutesPerHour)
        return QStringLiteral("%1m left").arg(minutes);
    return QStringLiteral("%1h %2m left")
        .arg(minutes / minutesPerHour)
        .arg(minutes % minutesPerHour);
}

} // namespace

LinkEntries linkEntries(const QList<ShareLink>& links, const VisitorsOf& visitors) {
    LinkEntries entries;
    for (const ShareLink& link : links) {
        const Visitors seen = visitors(link.host);
        QVariantMap entry{
            {hostKey, link.host},
            {urlKey, publicURL(link.host)},
            {portKey, link.port},
            {projectKey, link.project},
            {expiresKey, link.expiresAt.toMSecsSinceEpoch()},
            {visitorsKey, seen.active},
        };
        if (seen.lastSeen)
            entry.insert(lastSeenKey, seen.lastSeen->toMSecsSinceEpoch());
        entries.append(entry);
    }
    return entries;
}

QJsonArray linkEntriesJson(const LinkEntries& entries) {
    QJsonArray array;
    for (const QVariantMap& entry : entries) {
        QJsonObject object;
        object.insert(hostKey, entry.value(hostKey).toString());
        object.insert(urlKey, entry.value(urlKey).toString());
        object.insert(portKey, entry.value(portKey).toLongLong());
        object.insert(projectKey, entry.value(projectKey).toString());
        object.insert(expiresKey, isoOfMsecs(entry.value(expiresKey)));
        object.insert(visitorsKey, entry.value(visitorsKey).toLongLong());
        if (entry.contains(lastSeenKey))
            object.insert(lastSeenKey, isoOfMsecs(entry.value(lastSeenKey)));
        array.append(object);
    }
    return array;
}

QString linkEntriesText(const LinkEntries& entries, const QDateTime& now) {
    QString text;
    for (const QVariantMap& entry : entries) {
        const qint64 left =
            (entry.value(expiresKey).toLongLong() - now.toMSecsSinceEpoch()) / msecsPerSecond;
        const QStringList fields{
            entry.value(urlKey).toString(),
            QString::number(entry.value(portKey).toLongLong()),
            entry.value(projectKey).toString(),
            timeLeft(left),
            QStringLiteral("%1 visitors").arg(entry.value(visitorsKey).toLongLong()),
        };
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}

void registerLinkEntries() {
    qDBusRegisterMetaType<LinkEntries>();
}
