#include "tunnel/TunnelConfig.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QLocale>
#include <QVariant>
#include <algorithm>
#include <cmath>

namespace TunnelConfig {

namespace {

constexpr int indentWidth = 2;
// Doubles up to this magnitude that hold a whole number are written without a fraction.
constexpr double largestExactInteger = 9007199254740992.0;

void appendIndent(QByteArray& out, int level) {
    out.append(QByteArray(qsizetype{level} * indentWidth, ' '));
}

void appendString(QByteArray& out, const QString& text) {
    out.append('"');
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out.append(
                    QByteArrayLiteral("\\u00") +
                    QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0'));
            else
                out.append(c);
        }
    }
    out.append('"');
}

void appendNumber(QByteArray& out, const QJsonValue& value) {
    const QVariant number = value.toVariant();
    if (number.typeId() == QMetaType::LongLong) {
        out.append(QByteArray::number(number.toLongLong()));
        return;
    }
    const double d = value.toDouble();
    if (std::trunc(d) == d && std::fabs(d) <= largestExactInteger)
        out.append(QByteArray::number(static_cast<qint64>(d)));
    else
        out.append(QByteArray::number(d, 'g', QLocale::FloatingPointShortest));
}

void appendValue(QByteArray& out, const QJsonValue& value, int level);

void appendObject(QByteArray& out, const QJsonObject& object, int level) {
    if (object.isEmpty()) {
        out.append("{}");
        return;
    }
    QStringList keys = object.keys();
    std::sort(keys.begin(), keys.end());
    out.append("{\n");
    for (qsizetype i = 0; i < keys.size(); ++i) {
        appendIndent(out, level + 1);
        appendString(out, keys[i]);
        out.append(" : ");
        appendValue(out, object.value(keys[i]), level + 1);
        out.append(i + 1 < keys.size() ? ",\n" : "\n");
    }
    appendIndent(out, level);
    out.append('}');
}

void appendArray(QByteArray& out, const QJsonArray& array, int level) {
    if (array.isEmpty()) {
        out.append("[]");
        return;
    }
    out.append("[\n");
    for (qsizetype i = 0; i < array.size(); ++i) {
        appendIndent(out, level + 1);
        appendValue(out, array.at(i), level + 1);
        out.append(i + 1 < array.size() ? ",\n" : "\n");
    }
    appendIndent(out, level);
    out.append(']');
}

void appendValue(QByteArray& out, const QJsonValue& value, int level) {
    switch (value.type()) {
    case QJsonValue::Object:
        appendObject(out, value.toObject(), level);
        break;
    case QJsonValue::Array:
        appendArray(out, value.toArray(), level);
        break;
    case QJsonValue::String:
        appendString(out, value.toString());
        break;
    case QJsonValue::Double:
        appendNumber(out, value);
        break;
    case QJsonValue::Bool:
        out.append(value.toBool() ? "true" : "false");
        break;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out.append("null");
        break;
    }
}

} // namespace

QString ingressService() {
    return QStringLiteral("http://127.0.0.1:") + QString::number(routerPort);
}

QString metricsAddress(qint64 metricsPort) {
    return QStringLiteral("127.0.0.1:") + QString::number(metricsPort);
}

QJsonObject baseConfig(const QString& tunnelId, qint64 metricsPort) {
    QJsonObject config{
        {QStringLiteral("tunnel"), tunnelId},
        // A bare name: cloudflared runs in the support directory and resolves it there.
        {QStringLiteral("credentials-file"), tunnelId + QStringLiteral(".json")},
    };
    return withIngress(config, metricsPort);
}

QJsonObject withIngress(QJsonObject config, qint64 metricsPort) {
    // One catch-all rule: routing by host is the router's job, so a change of links never
    // touches this file.
    config.insert(QStringLiteral("ingress"),
                  QJsonArray{QJsonObject{{QStringLiteral("service"), ingressService()}}});
    config.insert(QStringLiteral("metrics"), metricsAddress(metricsPort));
    return config;
}

// Slashes are never escaped here, so no "\/" ever needs turning back into "/"; doing that
// replacement on our output would corrupt a value that holds a backslash before a slash.
QByteArray render(const QJsonObject& config) {
    QByteArray out;
    appendObject(out, config, 0);
    return out;
}

} // namespace TunnelConfig
