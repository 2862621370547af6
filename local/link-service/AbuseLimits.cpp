#include "link-service/AbuseLimits.h"

namespace {

// Bytes of an IPv6 address that name the subscriber's /64.
constexpr int ipv6SubscriberBytes = 8;

QString subscriberKey(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4)
        return QHostAddress(v4).toString();
    Q_IPV6ADDR bytes = address.toIPv6Address();
    for (int i = ipv6SubscriberBytes; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

} // namespace

bool AddressRateLimit::admit(const QHostAddress& address, qint64 nowMs) {
    // Drop addresses whose events have all left the window, so the table stays small.
    for (auto it = events_.begin(); it != events_.end();) {
        while (!it->isEmpty() && it->first() <= nowMs - windowMs_)
            it->removeFirst();
        it = it->isEmpty() ? events_.erase(it) : std::next(it);
    }
    QList<qint64>& times = events_[subscriberKey(address)];
    if (times.size() >= limit_)
        return false;
    times.append(nowMs);
    return true;
}
