#include "history/HistoryStore.h"

#include "history/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

// Past this the WAL is folded back into the database and cut, whatever readers did meanwhile.
constexpr qint64 walCheckpointBytes = qint64(64) * 1024 * 1024;
// What the WAL may keep on disk after a checkpoint.
constexpr qint64 walKeptBytes = qint64(4) * 1024 * 1024;
// Eviction takes the oldest entries in groups of this many.
constexpr int evictionBatch = 64;

const char* const schema[] = {
    "CREATE TABLE IF NOT EXISTS requests ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, replay_of INTEGER NOT NULL DEFAULT 0,"
    " accepted_ms INTEGER NOT NULL, link TEXT NOT NULL, visitor TEXT NOT NULL,"
    " app_port INTEGER NOT NULL, method TEXT NOT NULL, target TEXT NOT NULL,"
    " version TEXT NOT NULL, status INTEGER NOT NULL,"
    " request_head BLOB NOT NULL, request_body BLOB, request_body_file TEXT,"
    " request_body_size INTEGER NOT NULL, request_body_kept INTEGER NOT NULL,"
    " response_head BLOB NOT NULL, response_body BLOB, response_body_file TEXT,"
    " response_body_size INTEGER NOT NULL, response_body_kept INTEGER NOT NULL,"
    " head_us INTEGER NOT NULL, connected_us INTEGER NOT NULL, first_byte_us INTEGER NOT NULL,"
    " done_us INTEGER NOT NULL, ending TEXT NOT NULL, incomplete INTEGER NOT NULL,"
    " upgraded INTEGER NOT NULL, stored_bytes INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS messages ("
    " request_id INTEGER NOT NULL REFERENCES requests(id) ON DELETE CASCADE,"
    " seq INTEGER NOT NULL, from_visitor INTEGER NOT NULL, opcode INTEGER NOT NULL,"
    " size INTEGER NOT NULL, at_us INTEGER NOT NULL, payload BLOB NOT NULL,"
    " PRIMARY KEY (request_id, seq))",
    "CREATE TABLE IF NOT EXISTS bodies (name TEXT PRIMARY KEY, refs INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS requests_accepted ON requests(accepted_ms)",
};

qint64 storedSize(const RecordedRequest& r) {
    qint64 size =
        r.requestHead.size() + r.responseHead.size() + r.requestBody.kept + r.responseBody.kept;
    for (const WebSocketMessage& m : r.messages)
        size += m.payload.size();
    return size;
}

// The columns that are never null get empty text or bytes for an absent value.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QLatin1String("")) : QVariant(value);
}

QVariant bytes(const QByteArray& value) {
    return value.isNull() ? QVariant(QByteArray("")) : QVariant(value);
}

QVariant orNull(const QString& text) {
    return text.isEmpty() ? QVariant() : QVariant(text);
}

QVariant orNull(const QByteArray& bytes, bool inFile) {
    return inFile ? QVariant() : QVariant(bytes);
}

} // namespace

HistoryStore::HistoryStore(QString directory, qint64 capBytes)
    : directory_(std::move(directory)), capBytes_(capBytes),
      connection_(QStringLiteral("history-writer-") + QUuid::createUuid().toString()) {}

HistoryStore::~HistoryStore() {
    insertRequest_.reset();
    addReference_.reset();
    insertMessage_.reset();
    if (db_.isValid()) {
        db_.close();
        db_ = QSqlDatabase();
    }
    QSqlDatabase::removeDatabase(connection_);
}

QString HistoryStore::bodyDirectory() const {
    return QDir(directory_).filePath(QString::fromLatin1(bodyFolder));
}

bool HistoryStore::open() {
    if (!PrivateFiles::makeDirectory(directory_) || !PrivateFiles::makeDirectory(bodyDirectory()))
        return false;
    const QString path = QDir(directory_).filePath(QString::fromLatin1(databaseName));
    // SQLite gives the WAL and its index the database file's mode.
    if (!PrivateFiles::touch(path))
        return false;
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db_.setDatabaseName(path);
    if (!db_.open())
        return false;
    QSqlQuery q(db_);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    q.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
    q.exec(QStringLiteral("PRAGMA journal_size_limit=%1").arg(walKeptBytes));
    createSchema();
    removeStrayFiles();
    insertRequest_.emplace(db_);
    insertRequest_->prepare(QStringLiteral(
        "INSERT INTO requests (replay_of, accepted_ms, link, visitor, app_port, method, target,"
        " version, status, request_head, request_body, request_body_file, request_body_size,"
        " request_body_kept, response_head, response_body, response_body_file,"
        " response_body_size, response_body_kept, head_us, connected_us, first_byte_us,"
        " done_us, ending, incomplete, upgraded, stored_bytes)"
        " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    addReference_.emplace(db_);
    addReference_->prepare(QStringLiteral("INSERT INTO bodies (name, refs) VALUES (?, 1)"
                                          " ON CONFLICT(name) DO UPDATE SET refs = refs + 1"));
    insertMessage_.emplace(db_);
    insertMessage_->prepare(QStringLiteral("INSERT INTO messages (request_id, seq, from_visitor,"
                                           " opcode, size, at_us, payload)"
                                           " VALUES (?,?,?,?,?,?,?)"));
    q.exec(QStringLiteral("SELECT COALESCE(SUM(stored_bytes), 0) FROM requests"));
    storedBytes_ = q.next() ? q.value(0).toLongLong() : 0;
    return true;
}

void HistoryStore::createSchema() {
    QSqlQuery q(db_);
    for (const char* statement : schema)
        q.exec(QString::fromLatin1(statement));
}

// A kill between writing a body file and committing its row, or between committing an eviction
// and deleting its files, leaves a file that no row names: such files go at the next start.
void HistoryStore::removeStrayFiles() {
    QSet<QString> named;
    QSqlQuery q(db_);
    q.exec(QStringLiteral("SELECT name FROM bodies WHERE refs > 0"));
    while (q.next())
        named.insert(q.value(0).toString());
    const QDir dir(bodyDirectory());
    for (const QString& file : dir.entryList(QDir::Files)) {
        if (!named.contains(file))
            QFile::remove(dir.filePath(file));
    }
}

void HistoryStore::begin() {
    db_.transaction();
}

void HistoryStore::commit() {
    db_.commit();
    for (const QString& file : std::as_const(filesToRemove_))
        QFile::remove(QDir(bodyDirectory()).filePath(file));
    filesToRemove_.clear();
    checkpointIfLarge();
}

qint64 HistoryStore::add(const RecordedRequest& r) {
    QSqlQuery& q = *insertRequest_;
    const qint64 size = storedSize(r);
    const QVariantList values = {
        r.replayOf,
        r.acceptedMs,
        text(r.link),
        text(r.visitor),
        r.appPort,
        text(r.method),
        text(r.target),
        text(r.version),
        r.status,
        bytes(r.requestHead),
        orNull(r.requestBody.bytes, !r.requestBody.file.isEmpty()),
        orNull(r.requestBody.file),
        r.requestBody.size,
        r.requestBody.kept,
        bytes(r.responseHead),
        orNull(r.responseBody.bytes, !r.responseBody.file.isEmpty()),
        orNull(r.responseBody.file),
        r.responseBody.size,
        r.responseBody.kept,
        r.headUs,
        r.connectedUs,
        r.firstByteUs,
        r.doneUs,
        text(r.ending),
        r.incomplete ? 1 : 0,
        r.upgraded ? 1 : 0,
        size,
    };
    for (int i = 0; i < values.size(); ++i)
        q.bindValue(i, values[i]);
    if (!q.exec())
        return 0;
    const qint64 id = q.lastInsertId().toLongLong();
    for (const QString& file : {r.requestBody.file, r.responseBody.file}) {
        if (file.isEmpty())
            continue;
        filesToRemove_.removeAll(file);
        addReference_->bindValue(0, file);
        addReference_->exec();
    }
    for (qsizetype i = 0; i < r.messages.size(); ++i) {
        const WebSocketMessage& m = r.messages[i];
        const QVariantList row = {id,     i,      m.fromVisitor ? 1 : 0, m.opcode,
                                  m.size, m.atUs, bytes(m.payload)};
        for (int column = 0; column < row.size(); ++column)
            insertMessage_->bindValue(column, row[column]);
        insertMessage_->exec();
    }
    storedBytes_ += size;
    evictToCap();
    return id;
}

// Deletes the oldest entries until the history fits its cap; their body files go with them once
// the deletion is committed, unless a newer entry holds the same body.
void HistoryStore::evictToCap() {
    while (storedBytes_ > capBytes_) {
        QSqlQuery oldest(db_);
        oldest.prepare(QStringLiteral("SELECT id, stored_bytes, request_body_file,"
                                      " response_body_file FROM requests ORDER BY id LIMIT ?"));
        oldest.addBindValue(evictionBatch);
        oldest.exec();
        bool any = false;
        while (storedBytes_ > capBytes_ && oldest.next()) {
            any = true;
            QSqlQuery remove(db_);
            remove.prepare(QStringLiteral("DELETE FROM requests WHERE id = ?"));
            remove.addBindValue(oldest.value(0));
            remove.exec();
            storedBytes_ -= oldest.value(1).toLongLong();
            releaseBody(oldest.value(2).toString());
            releaseBody(oldest.value(3).toString());
        }
        if (!any)
            return;
    }
}

void HistoryStore::releaseBody(const QString& file) {
    if (file.isEmpty())
        return;
    QSqlQuery q(db_);
    q.prepare(QStringLiteral("UPDATE bodies SET refs = refs - 1 WHERE name = ?"));
    q.addBindValue(file);
    q.exec();
    q.prepare(QStringLiteral("DELETE FROM bodies WHERE name = ? AND refs <= 0"));
    q.addBindValue(file);
    q.exec();
    if (q.numRowsAffected() > 0)
        filesToRemove_.append(file);
}

void HistoryStore::clear() {
    begin();
    QSqlQuery q(db_);
    q.exec(QStringLiteral("SELECT name FROM bodies"));
    while (q.next())
        filesToRemove_.append(q.value(0).toString());
    q.exec(QStringLiteral("DELETE FROM messages"));
    q.exec(QStringLiteral("DELETE FROM requests"));
    q.exec(QStringLiteral("DELETE FROM bodies"));
    storedBytes_ = 0;
    commit();
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

void HistoryStore::checkpointIfLarge() {
    const QFileInfo wal(
        QDir(directory_).filePath(QString::fromLatin1(databaseName) + QStringLiteral("-wal")));
    if (wal.exists() && wal.size() > walCheckpointBytes) {
        QSqlQuery q(db_);
        q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    }
}
