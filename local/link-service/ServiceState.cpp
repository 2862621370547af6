#include "link-service/ServiceState.h"

#include "common/Log.h"
#include "link-service/SecretHash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QJsonObject toJson(const InstallRecord& i) {
    return {
        {QStringLiteral("installId"), i.installId}, {QStringLiteral("tokenHash"), i.tokenHash},
        {QStringLiteral("tunnelId"), i.tunnelId},   {QStringLiteral("secretHash"), i.secretHash},
        {QStringLiteral("device"), i.device},       {QStringLiteral("revoked"), i.revoked}};
}

QJsonObject toJson(const LinkRecord& l) {
    return {{QStringLiteral("host"), l.host},
            {QStringLiteral("edgePort"), l.edgePort},
            {QStringLiteral("port"), l.port},
            {QStringLiteral("installId"), l.installId},
            {QStringLiteral("expiresAt"), static_cast<double>(l.expiresAtMs)},
            {QStringLiteral("ended"), l.ended},
            {QStringLiteral("endedAt"), static_cast<double>(l.endedAtMs)}};
}

bool allStrings(const QJsonObject& o, std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        if (!o.value(QLatin1String(key)).isString())
            return false;
    }
    return true;
}

} // namespace

QString ServiceState::load() {
    if (path_.isEmpty())
        return {};
    QFile file(path_);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(path_, file.errorString());
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    file.close();
    const QJsonObject root = doc.object();
    bool valid = doc.isObject() && root.value(QStringLiteral("installs")).isArray() &&
                 root.value(QStringLiteral("links")).isArray();
    QHash<QString, InstallRecord> readInstalls;
    QHash<QString, LinkRecord> readLinks;
    for (const QJsonValue& v : root.value(QStringLiteral("installs")).toArray()) {
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
    for (const QJsonValue& v : root.value(QStringLiteral("links")).toArray()) {
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
    if (!valid) {
        const QString aside = path_ + QStringLiteral(".bad");
        QFile::remove(aside);
        QFile::rename(path_, aside);
        return QStringLiteral("malformed state file %1 moved to %2; starting empty")
            .arg(path_, aside);
    }
    installs = readInstalls;
    links = readLinks;
    return {};
}

void ServiceState::save() const {
    if (path_.isEmpty())
        return;
    QJsonArray installList;
    for (const InstallRecord& i : installs)
        installList.append(toJson(i));
    QJsonArray linkList;
    for (const LinkRecord& l : links)
        linkList.append(toJson(l));
    const QJsonObject root{{QStringLiteral("installs"), installList},
                           {QStringLiteral("links"), linkList}};
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        logLine("state", QStringLiteral("cannot write %1: %2").arg(path_, file.errorString()));
        return;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    if (!file.commit())
        logLine("state", QStringLiteral("cannot write %1: %2").arg(path_, file.errorString()));
}

const InstallRecord* ServiceState::installByTunnel(const QString& tunnelId) const {
    for (const InstallRecord& i : installs) {
        if (i.tunnelId == tunnelId)
            return &i;
    }
    return nullptr;
}
