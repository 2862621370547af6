#include "link-service/ServiceState.h"

#include "common/Log.h"
#include "link-service/SecretHash.h"
#include "link-service/StateDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace {

bool allStrings(const QJsonObject& o, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!o.value(QLatin1String(key)).isString())
            return false;
    }
    return true;
}

} // namespace

QString ServiceState::loadLegacyJson() {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path_, file.errorString());
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    file.close();
    const QJsonObject root = doc.object();
    bool valid = doc.isObject() && root.value(QStringLiteral("installs")).isArray() &&
                 root.value(QStringLiteral("links")).isArray();
    QHash<QString, InstallRecord> readInstalls;
    QHash<QString, LinkRecord> readLinks;
    for (const QJsonValue v : root.value(QStringLiteral("installs")).toArray()) {
        const QJsonObject o = v.toObject();
        // Files from before hashing hold "token" and "secret" in clear: hash them on reading.
        const bool clear = allStrings(o, {"token", "secret"});
        if (!allStrings(o, {"installId", "tunnelId", "device"}) ||
            (!clear && !allStrings(o, {"tokenHash", "secretHash"}))) {
            valid = false;
            break;
        }
        InstallRecord i{o.value(QStringLiteral("installId")).toString(),
                        clear ? secretHash(o.value(QStringLiteral("token")).toString())
                              : o.value(QStringLiteral("tokenHash")).toString(),
                        o.value(QStringLiteral("tunnelId")).toString(),
                        clear ? secretHash(o.value(QStringLiteral("secret")).toString())
                              : o.value(QStringLiteral("secretHash")).toString(),
                        o.value(QStringLiteral("device")).toString(),
                        o.value(QStringLiteral("revoked")).toBool()};
        readInstalls.insert(i.installId, i);
    }
    for (const QJsonValue v : root.value(QStringLiteral("links")).toArray()) {
        const QJsonObject o = v.toObject();
        const int edgePort = o.value(QStringLiteral("edgePort")).toInt();
        // Port 0: a link of the public face, which shares the TLS port with every other link.
        if (!allStrings(o, {"host", "installId"}) || edgePort < 0 || edgePort > 65535) {
            valid = false;
            break;
        }
        LinkRecord l;
        l.host = o.value(QStringLiteral("host")).toString();
        l.edgePort = static_cast<quint16>(edgePort);
        l.port = o.value(QStringLiteral("port")).toInteger();
        l.installId = o.value(QStringLiteral("installId")).toString();
        l.expiresAtMs = static_cast<qint64>(o.value(QStringLiteral("expiresAt")).toDouble());
        l.ended = o.value(QStringLiteral("ended")).toBool();
        l.endedAtMs = static_cast<qint64>(o.value(QStringLiteral("endedAt")).toDouble());
        readLinks.insert(l.host, l);
    }
    if (!valid)
        return setAside(QStringLiteral("malformed state file"));
    installs = readInstalls;
    links = readLinks;
    return {};
}

ServiceState::ServiceState(QString path)
    : path_(std::move(path)), database_(std::make_unique<StateDatabase>()) {}

ServiceState::~ServiceState() = default;

QString ServiceState::setAside(const QString& why) {
    const QString aside = path_ + QStringLiteral(".bad");
    QFile::remove(aside);
    QFile::rename(path_, aside);
    return QStringLiteral("%1 %2 moved to %3; starting empty").arg(why, path_, aside);
}

QString ServiceState::openDatabase() {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    if (const auto problem = database_->open(path_))
        return *problem;
    if (const auto problem = database_->read(installs, links))
        return *problem;
    return {};
}

QString ServiceState::load() {
    if (path_.isEmpty())
        return {};
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly) && file.peek(1) == "{") {
        file.close();
        if (QString problem = loadLegacyJson(); !problem.isEmpty()) {
            openDatabase();
            return problem;
        }
        // The database is built beside the JSON file and then takes its place in one rename,
        // so a crash on the way leaves the JSON file to be read again.
        const QString fresh = path_ + QStringLiteral(".new");
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(fresh + QLatin1String(suffix));
        {
            StateDatabase migration;
            if (const auto problem = migration.open(fresh))
                return QStringLiteral("cannot create %1: %2").arg(fresh, *problem);
            if (const auto problem = migration.write(installs, links))
                return QStringLiteral("cannot write %1: %2").arg(fresh, *problem);
        }
        if (std::rename(QFile::encodeName(fresh).constData(),
                        QFile::encodeName(path_).constData()) != 0)
            return QStringLiteral("cannot replace %1 with %2").arg(path_, fresh);
        if (QString problem = openDatabase(); !problem.isEmpty())
            return QStringLiteral("cannot open %1: %2").arg(path_, problem);
        return QStringLiteral("state moved from JSON into the database %1").arg(path_);
    }
    file.close();
    if (QString problem = openDatabase(); !problem.isEmpty()) {
        QString report = setAside(QStringLiteral("unreadable state database (%1):").arg(problem));
        installs.clear();
        links.clear();
        if (QString again = openDatabase(); !again.isEmpty())
            return report + QStringLiteral("; cannot create a new one: ") + again;
        return report;
    }
    return {};
}

void ServiceState::save() {
    if (!database_->isOpen())
        return;
    if (const auto problem = database_->write(installs, links))
        logLine("state", QStringLiteral("cannot write %1: %2").arg(path_, *problem));
}

const InstallRecord* ServiceState::installByTunnel(const QString& tunnelId) const {
    for (const InstallRecord& i : installs) {
        if (i.tunnelId == tunnelId)
            return &i;
    }
    return nullptr;
}
