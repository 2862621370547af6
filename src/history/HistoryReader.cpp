#include "history/HistoryReader.h"

#include "history/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>

HistoryReader::HistoryReader(QString directory)
    : directory_(std::move(directory)),
      connection_(QStringLiteral("history-reader-") + QUuid::createUuid().toString()) {}

HistoryReader::~HistoryReader() {
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool HistoryReader::open() {
    const QString path = QDir(directory_).filePath(QString::fromLatin1(HistoryStore::databaseName));
    if (!QFile::exists(path))
        return false;
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path);
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db_.open();
}

qint64 HistoryReader::count() {
    QSqlQuery q(db_);
    q.exec(QStringLiteral("SELECT COUNT(*) FROM requests"));
    return q.next() ? q.value(0).toLongLong() : 0;
}

QList<qint64> HistoryReader::ids() {
    QList<qint64> all;
    QSqlQuery q(db_);
    q.exec(QStringLiteral("SELECT id FROM requests ORDER BY id"));
    while (q.next())
        all.append(q.value(0).toLongLong());
    return all;
}

std::optional<RecordedRequest> HistoryReader::entry(qint64 id) {
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("SELECT * FROM requests WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec() || !q.next())
        return std::nullopt;
    const auto v = [&](const char* name) { return q.value(QString::fromLatin1(name)); };
    RecordedRequest r;
    r.id = id;
    r.replayOf = v("replay_of").toLongLong();
    r.acceptedMs = v("accepted_ms").toLongLong();
    r.link = v("link").toString();
    r.visitor = v("visitor").toString();
    r.appPort = v("app_port").toLongLong();
    r.method = v("method").toString();
    r.target = v("target").toString();
    r.version = v("version").toString();
    r.status = v("status").toInt();
    r.requestHead = v("request_head").toByteArray();
    r.requestBody = {v("request_body").toByteArray(), v("request_body_file").toString(),
                     v("request_body_size").toLongLong(), v("request_body_kept").toLongLong()};
    r.responseHead = v("response_head").toByteArray();
    r.responseBody = {v("response_body").toByteArray(), v("response_body_file").toString(),
                      v("response_body_size").toLongLong(), v("response_body_kept").toLongLong()};
    r.headUs = v("head_us").toLongLong();
    r.connectedUs = v("connected_us").toLongLong();
    r.firstByteUs = v("first_byte_us").toLongLong();
    r.doneUs = v("done_us").toLongLong();
    r.ending = v("ending").toString();
    r.incomplete = v("incomplete").toBool();
    r.upgraded = v("upgraded").toBool();

    QSqlQuery m(db_);
    m.prepare(QStringLiteral("SELECT from_visitor, opcode, size, at_us, payload FROM messages"
                             " WHERE request_id = ? ORDER BY seq"));
    m.addBindValue(id);
    m.exec();
    while (m.next()) {
        r.messages.append({m.value(0).toBool(), m.value(1).toInt(), m.value(2).toLongLong(),
                           m.value(3).toLongLong(), m.value(4).toByteArray()});
    }
    return r;
}

QString HistoryReader::bodyPath(const QString& file) const {
    return QDir(directory_)
        .filePath(QString::fromLatin1(HistoryStore::bodyFolder) + QLatin1Char('/') + file);
}

QByteArray HistoryReader::bodyBytes(const StoredBody& body) const {
    if (body.file.isEmpty())
        return body.bytes;
    QFile file(bodyPath(body.file));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}
