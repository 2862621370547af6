#include "tunnel-client/TunnelConfig.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

// Files larger than this are not configuration files.
constexpr qint64 maxFileBytes = qint64{1024} * 1024;

std::variant<QJsonObject, QString> readObject(const QString& path, const char* what) {
    QFile file(QDir::current().absoluteFilePath(path));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read the %1 %2: %3")
            .arg(QLatin1String(what), file.fileName(), file.errorString());
    if (file.size() > maxFileBytes)
        return QStringLiteral("the %1 %2 is too large").arg(QLatin1String(what), file.fileName());
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("the %1 %2 is not valid JSON: %3")
            .arg(QLatin1String(what), file.fileName(), error.errorString());
    if (!doc.isObject())
        return QStringLiteral("the %1 %2 does not hold an object")
            .arg(QLatin1String(what), file.fileName());
    return doc.object();
}

// "HOST:PORT" with a port from 1 to 65535.
bool splitAddress(const QString& text, QString& host, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    port = static_cast<quint16>(value);
    return true;
}

} // namespace

std::variant<TunnelConfig, QString> loadTunnelConfig(const QString& configPath) {
    const auto configRead = readObject(configPath, "configuration");
    if (const auto* problem = std::get_if<QString>(&configRead))
        return *problem;
    const QJsonObject config = std::get<QJsonObject>(configRead);
    TunnelConfig result;
    result.tunnelId = config.value(QStringLiteral("tunnel")).toString();
    if (result.tunnelId.isEmpty())
        return QStringLiteral("the configuration names no \"tunnel\"");
    const QString credentialsFile = config.value(QStringLiteral("credentials-file")).toString();
    if (credentialsFile.isEmpty())
        return QStringLiteral("the configuration names no \"credentials-file\"");
    if (!splitAddress(config.value(QStringLiteral("metrics")).toString(), result.metricsHost,
                      result.metricsPort))
        return QStringLiteral("\"metrics\" must be HOST:PORT");
    const QJsonArray ingress = config.value(QStringLiteral("ingress")).toArray();
    if (ingress.size() != 1 || ingress[0].toObject().contains(QStringLiteral("hostname")))
        return QStringLiteral("\"ingress\" must hold exactly one catch-all rule");
    const QUrl service(ingress[0].toObject().value(QStringLiteral("service")).toString());
    if (service.scheme() != QStringLiteral("http") || service.host().isEmpty() ||
        service.port() <= 0 || (!service.path().isEmpty() && service.path() != QStringLiteral("/")))
        return QStringLiteral("the ingress \"service\" must be http://HOST:PORT");
    result.originHost = service.host();
    result.originPort = static_cast<quint16>(service.port());

    const auto credentialsRead = readObject(credentialsFile, "credentials file");
    if (const auto* problem = std::get_if<QString>(&credentialsRead))
        return *problem;
    const QJsonObject credentials = std::get<QJsonObject>(credentialsRead);
    if (credentials.value(QStringLiteral("tunnelId")).toString() != result.tunnelId)
        return QStringLiteral("the credentials belong to another tunnel than %1")
            .arg(result.tunnelId);
    result.secret = credentials.value(QStringLiteral("secret")).toString();
    if (result.secret.isEmpty() || result.secret.contains(QLatin1Char(' ')))
        return QStringLiteral("the credentials hold no usable \"secret\"");
    if (!splitAddress(credentials.value(QStringLiteral("endpoint")).toString(), result.edgeHost,
                      result.edgePort))
        return QStringLiteral("the credentials' \"endpoint\" must be HOST:PORT");
    result.edgeTls = credentials.value(QStringLiteral("tls")).toBool();
    return result;
}
