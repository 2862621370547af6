#include "link-service/StateDatabase.h"

#include <QFile>
#include <sqlite3.h>

namespace {

constexpr int busyTimeoutMs = 5000;

constexpr char schema[] = "CREATE TABLE IF NOT EXISTS installs ("
                          " install_id TEXT PRIMARY KEY, token_hash TEXT NOT NULL,"
                          " tunnel_id TEXT NOT NULL UNIQUE, secret_hash TEXT NOT NULL,"
                          " device TEXT NOT NULL, revoked INTEGER NOT NULL);"
                          "CREATE TABLE IF NOT EXISTS links ("
                          " host TEXT PRIMARY KEY, edge_port INTEGER NOT NULL,"
                          " port INTEGER NOT NULL, install_id TEXT NOT NULL,"
                          " expires_at_ms INTEGER NOT NULL, ended INTEGER NOT NULL,"
                          " ended_at_ms INTEGER NOT NULL);";

bool sameInstall(const InstallRecord& a, const InstallRecord& b) {
    return a.installId == b.installId && a.tokenHash == b.tokenHash && a.tunnelId == b.tunnelId &&
           a.secretHash == b.secretHash && a.device == b.device && a.revoked == b.revoked;
}

bool sameLink(const LinkRecord& a, const LinkRecord& b) {
    return a.host == b.host && a.edgePort == b.edgePort && a.port == b.port &&
           a.installId == b.installId && a.expiresAtMs == b.expiresAtMs && a.ended == b.ended &&
           a.endedAtMs == b.endedAtMs;
}

// One prepared statement, finalized when it goes out of scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement() { sqlite3_finalize(statement_); }

    bool valid() const { return statement_ != nullptr; }
    void bind(int index, const QString& text) {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(statement_, index, utf8.constData(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    }
    void bind(int index, qint64 value) { sqlite3_bind_int64(statement_, index, value); }
    // Runs a statement that returns no rows, ready to be bound and run again.
    bool run() {
        const int code = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
        return code == SQLITE_DONE;
    }
    bool next() { return sqlite3_step(statement_) == SQLITE_ROW; }
    QString text(int column) const {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(statement_, column)));
    }
    qint64 integer(int column) const { return sqlite3_column_int64(statement_, column); }

private:
    sqlite3_stmt* statement_ = nullptr;
};

} // namespace

StateDatabase::~StateDatabase() {
    close();
}

void StateDatabase::close() {
    sqlite3_close(db_);
    db_ = nullptr;
    savedInstalls_.clear();
    savedLinks_.clear();
}

QString StateDatabase::lastError() const {
    return QString::fromUtf8(sqlite3_errmsg(db_));
}

std::optional<QString> StateDatabase::exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return std::nullopt;
    const QString reason = QString::fromUtf8(message ? message : "unknown error");
    sqlite3_free(message);
    return reason;
}

std::optional<QString> StateDatabase::open(const QString& path) {
    close();
    // Created private before SQLite writes anything; its journal files take the same mode.
    {
        QFile file(path);
        if (!file.exists() && !file.open(QIODevice::WriteOnly))
            return file.errorString();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK) {
        const QString reason = lastError();
        close();
        return reason;
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    for (const char* sql : {"PRAGMA journal_mode=WAL;", "PRAGMA synchronous=FULL;", schema}) {
        if (auto problem = exec(sql)) {
            close();
            return problem;
        }
    }
    return std::nullopt;
}

std::optional<QString> StateDatabase::read(QHash<QString, InstallRecord>& installs,
                                           QHash<QString, LinkRecord>& links) {
    Statement installRows(db_, "SELECT install_id, token_hash, tunnel_id, secret_hash, device, "
                               "revoked FROM installs");
    Statement linkRows(db_, "SELECT host, edge_port, port, install_id, expires_at_ms, ended, "
                            "ended_at_ms FROM links");
    if (!installRows.valid() || !linkRows.valid())
        return lastError();
    installs.clear();
    links.clear();
    while (installRows.next()) {
        const InstallRecord i{installRows.text(0), installRows.text(1),
                              installRows.text(2), installRows.text(3),
                              installRows.text(4), installRows.integer(5) != 0};
        installs.insert(i.installId, i);
    }
    while (linkRows.next()) {
        LinkRecord l;
        l.host = linkRows.text(0);
        l.edgePort = static_cast<quint16>(linkRows.integer(1));
        l.port = linkRows.integer(2);
        l.installId = linkRows.text(3);
        l.expiresAtMs = linkRows.integer(4);
        l.ended = linkRows.integer(5) != 0;
        l.endedAtMs = linkRows.integer(6);
        links.insert(l.host, l);
    }
    savedInstalls_ = installs;
    savedLinks_ = links;
    return std::nullopt;
}

std::optional<QString> StateDatabase::write(const QHash<QString, InstallRecord>& installs,
                                            const QHash<QString, LinkRecord>& links) {
    if (auto problem = exec("BEGIN IMMEDIATE;"))
        return problem;
    bool ok = true;
    {
        Statement putInstall(db_, "INSERT OR REPLACE INTO installs VALUES (?, ?, ?, ?, ?, ?)");
        Statement dropInstall(db_, "DELETE FROM installs WHERE install_id = ?");
        Statement putLink(db_, "INSERT OR REPLACE INTO links VALUES (?, ?, ?, ?, ?, ?, ?)");
        Statement dropLink(db_, "DELETE FROM links WHERE host = ?");
        ok = putInstall.valid() && dropInstall.valid() && putLink.valid() && dropLink.valid();
        for (auto it = savedInstalls_.cbegin(); ok && it != savedInstalls_.cend(); ++it) {
            if (!installs.contains(it.key())) {
                dropInstall.bind(1, it.key());
                ok = dropInstall.run();
            }
        }
        for (auto it = installs.cbegin(); ok && it != installs.cend(); ++it) {
            const auto saved = savedInstalls_.constFind(it.key());
            if (saved != savedInstalls_.cend() && sameInstall(*saved, *it))
                continue;
            putInstall.bind(1, it->installId);
            putInstall.bind(2, it->tokenHash);
            putInstall.bind(3, it->tunnelId);
            putInstall.bind(4, it->secretHash);
            putInstall.bind(5, it->device);
            putInstall.bind(6, qint64{it->revoked});
            ok = putInstall.run();
        }
        for (auto it = savedLinks_.cbegin(); ok && it != savedLinks_.cend(); ++it) {
            if (!links.contains(it.key())) {
                dropLink.bind(1, it.key());
                ok = dropLink.run();
            }
        }
        for (auto it = links.cbegin(); ok && it != links.cend(); ++it) {
            const auto saved = savedLinks_.constFind(it.key());
            if (saved != savedLinks_.cend() && sameLink(*saved, *it))
                continue;
            putLink.bind(1, it->host);
            putLink.bind(2, qint64{it->edgePort});
            putLink.bind(3, it->port);
            putLink.bind(4, it->installId);
            putLink.bind(5, it->expiresAtMs);
            putLink.bind(6, qint64{it->ended});
            putLink.bind(7, it->endedAtMs);
            ok = putLink.run();
        }
    }
    if (!ok) {
        const QString reason = lastError();
        exec("ROLLBACK;");
        return reason;
    }
    if (auto problem = exec("COMMIT;")) {
        exec("ROLLBACK;");
        return problem;
    }
    savedInstalls_ = installs;
    savedLinks_ = links;
    return std::nullopt;
}
