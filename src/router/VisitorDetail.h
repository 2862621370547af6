#pragma once

#include <QDateTime>
#include <QString>

// One request's visitor as the router saw it: the client's address, the path it asked for and
// its User-Agent.
struct Visit {
    QString address;
    QString path;
    QString userAgent;
};

// One client address of a host over the last hour, kept in memory only.
struct VisitorDetail {
    QString address;
    QString userAgent;
    QString lastPath;
    QDateTime firstSeen;
    QDateTime lastSeen;
    qint64 requests = 0;

    friend bool operator==(const VisitorDetail&, const VisitorDetail&) = default;
};
