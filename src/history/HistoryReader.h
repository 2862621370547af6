#pragma once

#include "history/RecordedRequest.h"

#include <QSqlDatabase>
#include <QString>
#include <optional>

// Reads the history on the thread that made it, through its own connection; the writer's
// thread may be storing at the same time (WAL lets readers and the writer go on together).
class HistoryReader {
public:
    explicit HistoryReader(QString directory);
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    bool open();
    QSqlDatabase database() const { return db_; }
    QString directory() const { return directory_; }
    qint64 count();
    // The ids from oldest to newest.
    QList<qint64> ids();
    std::optional<RecordedRequest> entry(qint64 id);
    // A body's kept bytes, from its file when it has one.
    QByteArray bodyBytes(const StoredBody& body) const;
    QString bodyPath(const QString& file) const;

private:
    QString directory_;
    QString connection_;
    QSqlDatabase db_;
};
