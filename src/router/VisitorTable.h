#pragma once

#include "router/VisitorDetail.h"
#include "router/Visitors.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

// Per-host visitor entries: client address -> time of its latest request. Hosts are keyed
// lower-cased. Not thread-safe: the router's thread owns it.
class VisitorTable {
public:
    static constexpr qint64 activityWindowSeconds = 300;
    // How long the details of a visitor are kept after its latest request.
    static constexpr qint64 detailWindowSeconds = 3600;
    // A host keeps the details of at most this many addresses, the latest ones.
    static constexpr qsizetype detailLimit = 200;

    void record(const QString& host, const Visit& visit, const QDateTime& now);

    // Summarises the host and drops its entries that fell out of the activity window.
    Visitors snapshot(const QString& host, const QDateTime& now);

    // The host's visitors of the last hour, the latest first.
    QList<VisitorDetail> details(const QString& host, const QDateTime& now);

    // Forgets every host that is not in `hosts`.
    void retainOnly(const QSet<QString>& hosts);

private:
    struct HostEntries {
        QHash<QString, QDateTime> seen;
        // Survives the expiry of the entries, so a host whose visitors all left still reports
        // when it was last visited for as long as it keeps its route.
        std::optional<QDateTime> latest;
        QHash<QString, VisitorDetail> recent;
    };
    static void dropOldDetails(HostEntries& entries, const QDateTime& now);
    QHash<QString, HostEntries> hosts_;
};
