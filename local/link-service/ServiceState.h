#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <memory>
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

class StateDatabase;

// Installs and links, optionally kept in an SQLite file (mode 0600) so that a restarted or
// killed service still knows them. The JSON file of earlier versions is read once and replaced
// by the database.
class ServiceState {
public:
    explicit ServiceState(QString path);
    ~ServiceState();

    // Reads the file; a missing file is an empty state. A file that is not a state of ours is
    // moved aside (and reported) rather than overwritten, so nothing is lost silently. Returns
    // what is worth logging, or nothing.
    QString load();
    // Commits the current state; a failure is logged and the previous state stays on disk.
    void save();

    QHash<QString, InstallRecord> installs;
    QHash<QString, LinkRecord> links;

    const InstallRecord* installByTunnel(const QString& tunnelId) const;

private:
    // The JSON file of earlier versions; a problem when it is malformed.
    QString loadLegacyJson();
    // Moves the file aside as "<path>.bad" and returns the sentence that says so.
    QString setAside(const QString& why);
    QString openDatabase();

    QString path_;
    std::unique_ptr<StateDatabase> database_;
};
