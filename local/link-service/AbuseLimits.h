#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>

// Limits of the public face against one party taking more than its share. The loopback face
// serves one user and its tests, and applies none of them.
namespace AbuseLimits {
// A person registers one install per machine, again after a reset; ten an hour leave room for
// an office behind one address while a script cannot pile up thousands of tunnels.
inline constexpr int registrationsPerAddressPerHour = 10;
inline constexpr qint64 registrationWindowMs = 60 * 60 * 1000;
// A developer shares a handful of apps at once (renewing ends the old link); twenty live links
// are plenty and bound what one install costs the edge.
inline constexpr int linksPerInstall = 20;
// A browser opens up to six connections per name; 512 serve some eighty visitors at once while
// one link cannot take all of the edge's descriptors.
inline constexpr int visitorConnectionsPerLink = 512;
} // namespace AbuseLimits

// Counts events per source address over a sliding window. IPv6 addresses count by their /64,
// the block one subscriber usually gets, so that rotating the low bits gains nothing.
class AddressRateLimit {
public:
    AddressRateLimit(int limit, qint64 windowMs) : limit_(limit), windowMs_(windowMs) {}
    // Records one event at `nowMs` unless the address is over its limit; false then.
    bool admit(const QHostAddress& address, qint64 nowMs);

private:
    int limit_;
    qint64 windowMs_;
    QHash<QString, QList<qint64>> events_;
};
