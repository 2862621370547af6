#include "service/RemoteLink.h"

#include "service/PlatformErrors.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace {

QJsonObject parseObject(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonError::invalidJson(error.errorString(), error.offset);
    if (!document.isObject())
        throw JsonError::notAnObject();
    return document.object();
}

QString requireString(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        throw JsonError::missingMember(key, QStringLiteral("text"));
    return value.toString();
}

double requireNumber(const QJsonObject& object, const QString& key) {
    const QJsonValue value = object.value(key);
    if (!value.isDouble())
        throw JsonError::missingMember(key, QStringLiteral("a number"));
    return value.toDouble();
}

qint64 requireInteger(const QJsonObject& object, const QString& key) {
    const double number = requireNumber(object, key);
    const qint64 integer = object.value(key).toInteger();
    if (std::trunc(number) != number || static_cast<double>(integer) != number)
        throw JsonError::missingMember(key, QStringLiteral("an integer"));
    return integer;
}

} // namespace

RemoteLink RemoteLink::fromJson(const QJsonObject& object) {
    return RemoteLink{requireString(object, QStringLiteral("host")),
                      requireInteger(object, QStringLiteral("port")),
                      requireNumber(object, QStringLiteral("expiresAt")),
                      requireString(object, QStringLiteral("url"))};
}

RemoteLink RemoteLink::fromJson(const QByteArray& bytes) {
    return fromJson(parseObject(bytes));
}

LinksResponse LinksResponse::fromJson(const QByteArray& bytes) {
    const QJsonValue links = parseObject(bytes).value(QStringLiteral("links"));
    if (!links.isArray())
        throw JsonError::missingMember(QStringLiteral("links"), QStringLiteral("an array"));
    LinksResponse response;
    for (const QJsonValue link : links.toArray()) {
        if (!link.isObject())
            throw JsonError::missingMember(QStringLiteral("links"),
                                           QStringLiteral("an array of objects"));
        response.links.append(RemoteLink::fromJson(link.toObject()));
    }
    return response;
}
