#include "router/VisitorTable.h"

void VisitorTable::record(const QString& host, const QString& address, const QDateTime& now) {
    HostEntries& entries = hosts_[host.toLower()];
    entries.seen.insert(address, now);
    if (!entries.latest || *entries.latest < now)
        entries.latest = now;
}

Visitors VisitorTable::snapshot(const QString& host, const QDateTime& now) {
    HostEntries& entries = hosts_[host.toLower()];
    const QDateTime cutoff = now.addSecs(-activityWindowSeconds);
    for (auto it = entries.seen.begin(); it != entries.seen.end();) {
        if (!entries.latest || *entries.latest < it.value())
            entries.latest = it.value();
        if (it.value() > cutoff)
            ++it;
        else
            it = entries.seen.erase(it);
    }
    return Visitors{entries.seen.size(), entries.latest};
}

void VisitorTable::retainOnly(const QSet<QString>& hosts) {
    for (auto it = hosts_.begin(); it != hosts_.end();) {
        if (hosts.contains(it.key()))
            ++it;
        else
            it = hosts_.erase(it);
    }
}
