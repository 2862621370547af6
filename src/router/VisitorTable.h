#pragma once

#include "router/Visitors.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>

// Per-host visitor entries: client address -> time of its latest request. Hosts are keyed
// lower-cased. Not thread-safe: the router's thread owns it.
class VisitorTable {
public:
    static constexpr qint64 activityWindowSeconds = 300;

    void record(const QString& host, const QString& address, const QDateTime& now);

    // Summarises the host and drops its entries that fell out of the activity window.
    Visitors snapshot(const QString& host, const QDateTime& now);

    // Forgets every host that is not in `hosts`.
    void retainOnly(const QSet<QString>& hosts);

private:
    struct HostEntries {
        QHash<QString, QDateTime> seen;
        // Survives the expiry of the entries, so a host whose visitors all left still reports
        // when it was last visited for as long as it keeps its route.
        std::optional<QDateTime> latest;
    };
    QHash<QString, HostEntries> hosts_;
};
