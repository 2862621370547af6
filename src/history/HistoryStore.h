#pragma once

#include "history/RecordedRequest.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

// The history's database and body files, written by the capture writer's thread only. Holds at
// most `capBytes` of heads, bodies and messages; the oldest entries go first, with their files.
class HistoryStore {
public:
    static constexpr qint64 defaultCapBytes = qint64(1024) * 1024 * 1024;
    static constexpr const char* databaseName = "requests.sqlite";
    static constexpr const char* bodyFolder = "bodies";

    HistoryStore(QString directory, qint64 capBytes);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool open();
    QString bodyDirectory() const;
    // Stores one finished request, and makes room for it; body files named in it exist already.
    // Returns its id, 0 when it could not be stored.
    qint64 add(const RecordedRequest& request);
    void clear();
    // A commit groups the adds between two of these.
    void begin();
    void commit();
    qint64 storedBytes() const { return storedBytes_; }

private:
    void createSchema();
    void removeStrayFiles();
    void evictToCap();
    void releaseBody(const QString& file);
    void checkpointIfLarge();

    QString directory_;
    qint64 capBytes_;
    QString connection_;
    QSqlDatabase db_;
    qint64 storedBytes_ = 0;
    QStringList filesToRemove_;
    // Prepared once: the writer stores thousands of entries a second at full load.
    std::optional<QSqlQuery> insertRequest_;
    std::optional<QSqlQuery> addReference_;
    std::optional<QSqlQuery> insertMessage_;
};
