#pragma once

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
