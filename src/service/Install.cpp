#include "service/Install.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString installIdKey = QStringLiteral("installId");
const QString tokenKey = QStringLiteral("token");
const QString tunnelIdKey = QStringLiteral("tunnelId");
const QString domainKey = QStringLiteral("domain");
} // namespace

QByteArray Install::toJson() const {
    const QJsonObject object{
        {installIdKey, installId},
        {tokenKey, token},
        {tunnelIdKey, tunnelId},
        {domainKey, domain},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Install> Install::fromJson(const QByteArray& bytes) {
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QString& key : {installIdKey, tokenKey, tunnelIdKey, domainKey}) {
        if (!object.value(key).isString())
            return std::nullopt;
    }
    return Install{object.value(installIdKey).toString(), object.value(tokenKey).toString(),
                   object.value(tunnelIdKey).toString(), object.value(domainKey).toString()};
}
