#include "router/VisitorTable.h"

#include <algorithm>

void VisitorTable::record(const QString& host, const Visit& visit, const QDateTime& now) {
    HostEntries& entries = hosts_[host.toLower()];
    entries.seen.insert(visit.address, now);
    if (!entries.latest || *entries.latest < now)
        entries.latest = now;
    VisitorDetail& detail = entries.recent[visit.address];
    if (detail.requests == 0) {
        detail.address = visit.address;
        detail.firstSeen = now;
    }
    detail.lastSeen = now;
    detail.lastPath = visit.path;
    if (!visit.userAgent.isEmpty())
        detail.userAgent = visit.userAgent;
    ++detail.requests;
    if (entries.recent.size() > detailLimit)
        dropOldDetails(entries, now);
}

void VisitorTable::dropOldDetails(HostEntries& entries, const QDateTime& now) {
    const QDateTime cutoff = now.addSecs(-detailWindowSeconds);
    entries.recent.removeIf([&](const auto& item) { return item.value().lastSeen <= cutoff; });
    while (entries.recent.size() > detailLimit) {
        const auto oldest = std::min_element(
            entries.recent.cbegin(), entries.recent.cend(),
            [](const VisitorDetail& a, const VisitorDetail& b) { return a.lastSeen < b.lastSeen; });
        entries.recent.erase(oldest);
    }
}

QList<VisitorDetail> VisitorTable::details(const QString& host, const QDateTime& now) {
    const auto found = hosts_.find(host.toLower());
    if (found == hosts_.end())
        return {};
    dropOldDetails(*found, now);
    QList<VisitorDetail> result = found->recent.values();
    std::sort(result.begin(), result.end(), [](const VisitorDetail& a, const VisitorDetail& b) {
        return a.lastSeen > b.lastSeen;
    });
    return result;
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
