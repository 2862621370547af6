#pragma once

#include "platform/BuildProfile.h"

#include <QDateTime>
#include <QString>

// One active public link, identified by its host.
struct ShareLink {
    QString host;
    qint64 port = 0;
    QDateTime expiresAt;
    QString project;

    friend bool operator==(const ShareLink&, const ShareLink&) = default;
};

// The public address of a host: the build profile's scheme, then the host.
inline QString publicURL(const QString& host) {
    return QString::fromLatin1(BuildProfile::publicScheme) + host;
}
