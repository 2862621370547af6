#include "link-service/RequestJournal.h"

void RequestJournal::record(const QString& scope, const HttpRequestHead& head,
                            const QByteArray& body, const QString& peer) {
    QJsonArray headers;
    for (const HttpHeader& h : head.headers)
        headers.append(QJsonArray{QString::fromLatin1(h.name), QString::fromUtf8(h.value)});
    const qsizetype query = head.target.indexOf('?');
    entries_.append({{QStringLiteral("scope"), scope},
                     {QStringLiteral("method"), QString::fromLatin1(head.method)},
                     {QStringLiteral("path"),
                      QString::fromUtf8(query < 0 ? head.target : head.target.left(query))},
                     {QStringLiteral("target"), QString::fromUtf8(head.target)},
                     {QStringLiteral("headers"), headers},
                     {QStringLiteral("body"), QString::fromUtf8(body)},
                     {QStringLiteral("peer"), peer}});
    if (entries_.size() > capacity)
        entries_.removeFirst();
}

QJsonArray RequestJournal::entries(const QString& scope) const {
    QJsonArray out;
    for (const QJsonObject& e : entries_) {
        if (scope.isEmpty() || e.value(QStringLiteral("scope")).toString() == scope)
            out.append(e);
    }
    return out;
}
