#pragma once

#include "link-service/ServiceState.h"

#include <QHash>
#include <QString>
#include <optional>

struct sqlite3;

// The SQLite file behind ServiceState: write-ahead log with full sync, so that a crash or
// `kill -9` at any moment leaves the last committed state whole and never a half-written record.
// Each write commits only what changed since the previous one, in one transaction.
class StateDatabase {
public:
    StateDatabase() = default;
    StateDatabase(const StateDatabase&) = delete;
    StateDatabase& operator=(const StateDatabase&) = delete;
    ~StateDatabase();

    // Opens (or creates, mode 0600) the file; on failure the reason, and nothing is open.
    std::optional<QString> open(const QString& path);
    bool isOpen() const { return db_ != nullptr; }
    // Reads everything; the reason when the file is no database of ours.
    std::optional<QString> read(QHash<QString, InstallRecord>& installs,
                                QHash<QString, LinkRecord>& links);
    // Brings the file to this state; the reason on failure (the previous state then stays).
    std::optional<QString> write(const QHash<QString, InstallRecord>& installs,
                                 const QHash<QString, LinkRecord>& links);

private:
    std::optional<QString> exec(const char* sql);
    QString lastError() const;
    void close();

    sqlite3* db_ = nullptr;
    // What the file holds, to write only the difference.
    QHash<QString, InstallRecord> savedInstalls_;
    QHash<QString, LinkRecord> savedLinks_;
};
