#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// One link as the link service describes it.
struct RemoteLink {
    // Public host name, no scheme, no path.
    QString host;
    // The local port it routes to.
    qint64 port = 0;
    // End of life in milliseconds since 1970; divide by 1000 for an instant.
    double expiresAt = 0;
    // Decoded because the service promises it, but public addresses are formed from the host.
    QString url;

    // Throws JsonError when a member is missing or of another type; other members are ignored.
    static RemoteLink fromJson(const QJsonObject& object);
    static RemoteLink fromJson(const QByteArray& bytes);

    bool operator==(const RemoteLink&) const = default;
};

// The answer to the listing: the install's links as the service knows them.
struct LinksResponse {
    QList<RemoteLink> links;

    // Throws JsonError unless the bytes are an object whose "links" is an array of links.
    static LinksResponse fromJson(const QByteArray& bytes);
};
