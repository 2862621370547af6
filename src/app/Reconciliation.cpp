#include "app/Reconciliation.h"

#include "app/Instant.h"

#include <QMultiHash>
#include <QSet>

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
        // An expiry that is no instant leaves the link the one it had.
        const std::optional<QDateTime> expiresAt = Instant::fromMsecsSinceEpoch(link.expiresAt);
        if (!expiresAt)
            continue;
        for (const qsizetype index : matches)
            result.kept[index].expiresAt = *expiresAt;
    }
    return result;
}
