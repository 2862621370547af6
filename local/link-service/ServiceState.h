#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

struct InstallRecord {
    QString installId;
    // Hashes (SecretHash.h): the token and the secret themselves are handed out once, never kept.
    QString tokenHash;
    QString tunnelId;
    QString secretHash;
    QString device;
    bool revoked = false;
};

struct LinkRecord {
    // The public host: "localhost:<edgePort>" on loopback, "<name>.<domain>" on the public face
    // (edge port 0 there: every link shares the TLS port).
    QString host;
    quint16 edgePort = 0;
    qint64 port = 0;
    QString installId;
    qint64 expiresAtMs = 0;
    bool ended = false;
    qint64 endedAtMs = 0;
};

// Installs and links, optionally kept in a JSON file (written atomically, mode 0600) so that a
// restarted service still knows them.
class ServiceState {
public:
    explicit ServiceState(QString path) : path_(std::move(path)) {}

    // Reads the file; a missing file is an empty state. A malformed file is moved aside (and
    // reported) rather than overwritten, so nothing is lost silently.
    QString load();
    void save() const;

    QHash<QString, InstallRecord> installs;
    QHash<QString, LinkRecord> links;

    const InstallRecord* installByTunnel(const QString& tunnelId) const;

private:
    QString path_;
};
