#include "app/LinksFile.h"

#include "app/Instant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace LinksFile {
namespace {

QByteArray jsonString(const QString& text) {
    // The compact writer's own escaping, taken from a one-element array.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

std::optional<qint64> integer(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    const qint64 whole = value.toInteger();
    if (static_cast<double>(whole) != number)
        return std::nullopt;
    return whole;
}

} // namespace

double secondsSinceReferenceEpoch(const QDateTime& instant) {
    return static_cast<double>(instant.toMSecsSinceEpoch()) / 1000.0 -
           static_cast<double>(referenceEpochOffset);
}

std::optional<QDateTime> fromSecondsSinceReferenceEpoch(double seconds) {
    return Instant::fromMsecsSinceEpoch((seconds + static_cast<double>(referenceEpochOffset)) *
                                        1000.0);
}

std::optional<QByteArray> encode(const QList<ShareLink>& links) {
    QByteArray out = "[";
    for (const ShareLink& link : links) {
        const double expiresAt = secondsSinceReferenceEpoch(link.expiresAt);
        if (!link.expiresAt.isValid() || !std::isfinite(expiresAt))
            return std::nullopt;
        if (out.size() > 1)
            out += ',';
        out += "{\"host\":" + jsonString(link.host) + ",\"port\":" + QByteArray::number(link.port) +
               ",\"expiresAt\":" + QByteArray::number(expiresAt, 'g', 17) +
               ",\"project\":" + jsonString(link.project) + '}';
    }
    return out + ']';
}

std::optional<QList<ShareLink>> decode(const QByteArray& content) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<ShareLink> links;
    for (const QJsonValue element : document.array()) {
        const QJsonObject object = element.toObject();
        const QJsonValue host = object.value(QStringLiteral("host"));
        const std::optional<qint64> port = integer(object.value(QStringLiteral("port")));
        const QJsonValue expiresAt = object.value(QStringLiteral("expiresAt"));
        const QJsonValue project = object.value(QStringLiteral("project"));
        if (!element.isObject() || !host.isString() || !port || !expiresAt.isDouble() ||
            !project.isString())
            return std::nullopt;
        const std::optional<QDateTime> instant =
            fromSecondsSinceReferenceEpoch(expiresAt.toDouble());
        if (!instant)
            return std::nullopt;
        links.append({host.toString(), *port, *instant, project.toString()});
    }
    return links;
}

} // namespace LinksFile
