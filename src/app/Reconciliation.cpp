#include "app/Reconciliation.h"

#include <QMultiHash>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace {

// The service counts milliseconds since 1970. A value beyond any real date is held at the edge
// of the representable range instead of overflowing the conversion.
QDateTime fromServiceMilliseconds(double milliseconds) {
    constexpr double limit = 9.0e15; // about 285,000 years either way
    const double bounded = std::isnan(milliseconds) ? 0.0 : std::clamp(milliseconds, -limit, limit);
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(bounded), Qt::UTC);
}

} // namespace

Reconciliation Reconciliation::merge(const QList<ShareLink>& local,
                                     const QList<RemoteLink>& remote) {
    QSet<QString> remoteHosts;
    for (const RemoteLink& link : remote)
        remoteHosts.insert(link.host);

    Reconciliation result;
    QMultiHash<QString, qsizetype> keptIndex;
    for (const ShareLink& link : local) {
        if (!remoteHosts.contains(link.host) || link.project.isEmpty())
            continue;
        keptIndex.insert(link.host, result.kept.size());
        result.kept.append(link);
    }
    for (const RemoteLink& link : remote) {
        const QList<qsizetype> matches = keptIndex.values(link.host);
        if (matches.isEmpty()) {
            result.orphans.append(link.host);
            continue;
        }
        const QDateTime expiresAt = fromServiceMilliseconds(link.expiresAt);
        for (const qsizetype index : matches)
            result.kept[index].expiresAt = expiresAt;
    }
    return result;
}
