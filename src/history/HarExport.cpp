#include "history/HarExport.h"

#include "history/BodyDecoding.h"
#include "history/HttpHead.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;

namespace HarExport {
namespace {

constexpr int textOpcode = 1;
constexpr double usPerMs = 1000.0;

QString isoTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString text(const QByteArray& bytes) {
    return QString::fromUtf8(bytes);
}

// A step's length in milliseconds, -1 when either end of it is unknown.
double span(qint64 fromUs, qint64 toUs) {
    if (fromUs < 0 || toUs < 0 || toUs < fromUs)
        return -1;
    return double(toUs - fromUs) / usPerMs;
}

QJsonArray headers(const HttpHead& head, const Options& options) {
    QJsonArray list;
    for (const auto& [name, value] : head.fields) {
        const bool hidden = options.redactSecrets && isSecretHeader(name);
        list.append(
            QJsonObject{{u"name"_s, text(name)},
                        {u"value"_s, hidden ? QString::fromLatin1(redactedValue) : text(value)}});
    }
    return list;
}

// Adds "name=value" as a HAR cookie; anything without a name is left out.
void appendCookie(QJsonArray& cookies, const QByteArray& pair) {
    const qsizetype eq = pair.indexOf('=');
    if (eq <= 0)
        return;
    cookies.append(QJsonObject{{u"name"_s, text(pair.first(eq).trimmed())},
                               {u"value"_s, text(pair.sliced(eq + 1).trimmed())}});
}

QJsonArray requestCookies(const HttpHead& head, const Options& options) {
    QJsonArray cookies;
    if (options.redactSecrets)
        return cookies;
    for (const auto& [name, value] : head.fields) {
        if (name.compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& pair : value.split(';'))
            appendCookie(cookies, pair);
    }
    return cookies;
}

QJsonArray responseCookies(const HttpHead& head, const Options& options) {
    QJsonArray cookies;
    if (options.redactSecrets)
        return cookies;
    for (const auto& [name, value] : head.fields) {
        if (name.compare("set-cookie", Qt::CaseInsensitive) != 0)
            continue;
        appendCookie(cookies, value.split(';').value(0));
    }
    return cookies;
}

bool isText(const QByteArray& bytes, const QByteArray& mimeType) {
    const QByteArray mime = mimeType.toLower();
    if (mime.startsWith("image/") || mime.startsWith("audio/") || mime.startsWith("video/") ||
        mime.contains("octet-stream"))
        return false;
    return QByteArrayView(bytes).isValidUtf8() && !bytes.contains('\0');
}

QJsonObject content(const HttpHead& head, const QByteArray& body) {
    const QByteArray mime = head.value("content-type").value_or(QByteArray());
    const QByteArray decoded = BodyDecoding::decoded(head, body);
    QJsonObject object{{u"size"_s, double(decoded.size())}, {u"mimeType"_s, text(mime)}};
    object[u"compression"_s] = double(body.size() - decoded.size());
    if (decoded.isEmpty())
        return object;
    if (isText(decoded, mime)) {
        object[u"text"_s] = text(decoded);
    } else {
        object[u"text"_s] = QString::fromLatin1(decoded.toBase64());
        object[u"encoding"_s] = QStringLiteral("base64");
    }
    return object;
}

QString statusText(const HttpHead& head) {
    const QList<QByteArray> parts = head.startLine.split(' ');
    return text(parts.mid(2).join(' '));
}

QJsonObject request(const RecordedRequest& r, const HttpHead& head, const QByteArray& body,
                    const Options& options) {
    const QString path = r.target.startsWith(u'/') ? r.target : u"/"_s + r.target;
    const QString scheme = r.upgraded ? QStringLiteral("wss") : QStringLiteral("https");
    const QUrl url(scheme + u"://"_s + r.link + path);
    QJsonArray query;
    for (const auto& [name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        query.append(QJsonObject{{u"name"_s, name}, {u"value"_s, value}});
    QJsonObject object{
        {u"method"_s, r.method},
        {u"url"_s, url.toString(QUrl::FullyEncoded)},
        {u"httpVersion"_s, r.version},
        {u"cookies"_s, requestCookies(head, options)},
        {u"headers"_s, headers(head, options)},
        {u"queryString"_s, query},
        {u"headersSize"_s, double(r.requestHead.size())},
        {u"bodySize"_s, double(r.requestBody.size)},
    };
    if (r.requestBody.size > 0) {
        const QByteArray mime = head.value("content-type").value_or(QByteArray());
        const QByteArray decoded = BodyDecoding::decoded(head, body);
        object[u"postData"_s] = QJsonObject{
            {u"mimeType"_s, text(mime)},
            {u"text"_s,
             isText(decoded, mime) ? text(decoded) : QString::fromLatin1(decoded.toBase64())},
            {u"params"_s, QJsonArray()}};
    }
    return object;
}

QJsonObject response(const RecordedRequest& r, const HttpHead& head, const QByteArray& body,
                     const Options& options) {
    return QJsonObject{
        {u"status"_s, r.status},
        {u"statusText"_s, statusText(head)},
        {u"httpVersion"_s, head.version().isEmpty() ? r.version : text(head.version())},
        {u"cookies"_s, responseCookies(head, options)},
        {u"headers"_s, headers(head, options)},
        {u"content"_s, content(head, body)},
        {u"redirectURL"_s, text(head.value("location").value_or(QByteArray()))},
        {u"headersSize"_s, r.responseHead.isEmpty() ? -1.0 : double(r.responseHead.size())},
        {u"bodySize"_s, r.responseHead.isEmpty() ? -1.0 : double(r.responseBody.size)},
    };
}

QJsonObject timings(const RecordedRequest& r) {
    const double wait = span(r.connectedUs, r.firstByteUs);
    const double receive = span(r.firstByteUs, r.doneUs);
    return QJsonObject{
        {u"blocked"_s, span(0, r.headUs)},
        {u"dns"_s, -1},
        {u"connect"_s, span(r.headUs, r.connectedUs)},
        {u"ssl"_s, -1},
        {u"send"_s, 0},
        {u"wait"_s, wait},
        {u"receive"_s, receive},
    };
}

QJsonArray messages(const RecordedRequest& r) {
    QJsonArray list;
    for (const WebSocketMessage& m : r.messages) {
        const bool textual = m.opcode == textOpcode;
        list.append(QJsonObject{
            {u"type"_s, m.fromVisitor ? u"send"_s : u"receive"_s},
            {u"time"_s, double(r.acceptedMs) / 1000.0 + double(m.atUs) / 1e6},
            {u"opcode"_s, m.opcode},
            {u"data"_s, textual ? text(m.payload) : QString::fromLatin1(m.payload.toBase64())},
        });
    }
    return list;
}

} // namespace

bool isSecretHeader(QByteArrayView name) {
    for (const char* secret : {"authorization", "proxy-authorization", "cookie", "set-cookie"}) {
        if (name.compare(secret, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QJsonObject document(const QList<RecordedRequest>& requests, const BodyLoader& load,
                     const Options& options) {
    QMap<QString, QString> pageOfLink;
    QJsonArray pages;
    QJsonArray entries;
    for (const RecordedRequest& r : requests) {
        if (!pageOfLink.contains(r.link)) {
            const QString id = QStringLiteral("page_%1").arg(pageOfLink.size() + 1);
            pageOfLink.insert(r.link, id);
            pages.append(QJsonObject{
                {u"startedDateTime"_s, isoTime(r.acceptedMs)},
                {u"id"_s, id},
                {u"title"_s, u"https://"_s + r.link + u"/"_s},
                {u"pageTimings"_s, QJsonObject{{u"onContentLoad"_s, -1}, {u"onLoad"_s, -1}}},
            });
        }
        const HttpHead requestHead = HttpHeads::parse(r.requestHead);
        const HttpHead responseHead = HttpHeads::parse(r.responseHead);
        const QJsonObject entryTimings = timings(r);
        double total = 0;
        for (const char* step : {"blocked", "connect", "send", "wait", "receive"})
            total += std::max(0.0, entryTimings[QLatin1StringView(step)].toDouble());
        QJsonObject entry{
            {u"pageref"_s, pageOfLink.value(r.link)},
            {u"startedDateTime"_s, isoTime(r.acceptedMs)},
            {u"time"_s, total},
            {u"request"_s, request(r, requestHead, load(r.requestBody), options)},
            {u"response"_s, response(r, responseHead, load(r.responseBody), options)},
            {u"cache"_s, QJsonObject()},
            {u"timings"_s, entryTimings},
            {u"connection"_s, QString::number(r.id)},
        };
        if (r.upgraded) {
            entry[u"_resourceType"_s] = QStringLiteral("websocket");
            entry[u"_webSocketMessages"_s] = messages(r);
        }
        entries.append(entry);
    }
    return QJsonObject{
        {u"log"_s, QJsonObject{
                       {u"version"_s, u"1.2"_s},
                       {u"creator"_s, QJsonObject{{u"name"_s, u"Skerrow"_s},
                                                  {u"version"_s, options.creatorVersion}}},
                       {u"pages"_s, pages},
                       {u"entries"_s, entries},
                   }}};
}

QByteArray bytes(const QList<RecordedRequest>& requests, const BodyLoader& load,
                 const Options& options) {
    return QJsonDocument(document(requests, load, options)).toJson(QJsonDocument::Indented);
}

} // namespace HarExport
