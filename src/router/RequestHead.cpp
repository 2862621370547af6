#include "router/RequestHead.h"

#include <QByteArrayView>
#include <QList>

namespace RequestHead {
namespace {

constexpr QByteArrayView terminator("\r\n\r\n");
constexpr QByteArrayView lineBreak("\r\n");

// Header names are ASCII tokens, so they match without regard to ASCII letter case only.
bool startsWithName(QByteArrayView line, QByteArrayView lowerName) {
    if (line.size() < lowerName.size())
        return false;
    for (qsizetype i = 0; i < lowerName.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != lowerName[i])
            return false;
    }
    return true;
}

QByteArrayView valueOf(QByteArrayView line) {
    QByteArrayView value = line.sliced(line.indexOf(':') + 1);
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!value.isEmpty() && blank(value.front()))
        value = value.sliced(1);
    while (!value.isEmpty() && blank(value.back()))
        value.chop(1);
    return value;
}

Decision reply(int status, const QString& body) {
    Decision decision;
    decision.kind = Decision::Kind::reply;
    decision.status = status;
    decision.body = body;
    return decision;
}

} // namespace

Decision decide(const QByteArray& buffer, const RouteLookup& lookup, qsizetype searchFrom) {
    const qsizetype end = buffer.indexOf(terminator, std::max<qsizetype>(0, searchFrom));
    if (end < 0) {
        if (buffer.size() > maxHeadBuffer)
            return reply(400, QString::fromLatin1(tooLargeBody));
        return {};
    }
    const QByteArrayView head = QByteArrayView(buffer).first(end);
    if (!head.isValidUtf8())
        return reply(400, QStringLiteral("bad headers"));

    QList<QByteArrayView> lines;
    for (qsizetype start = 0;;) {
        const qsizetype next = head.indexOf(lineBreak, start);
        if (next < 0) {
            lines.append(head.sliced(start));
            break;
        }
        lines.append(head.sliced(start, next - start));
        start = next + lineBreak.size();
    }

    QByteArray chunk;
    chunk.reserve(buffer.size() + 64);
    chunk.append(lines.front());
    std::optional<QByteArrayView> routeHost;
    std::optional<QByteArrayView> clientAddress;
    bool probe = false;
    bool upgrade = false;
    const auto forward = [&](QByteArrayView line) {
        chunk.append(lineBreak);
        chunk.append(line);
    };
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        if (startsWithName(line, "x-skerrow-probe:")) {
            probe = true;
        } else if (startsWithName(line, "x-skerrow-host:")) {
            routeHost = valueOf(line);
        } else if (startsWithName(line, "cf-connecting-ip:")) {
            clientAddress = valueOf(line);
            forward(line);
        } else if (startsWithName(line, "host:") || startsWithName(line, "connection:") ||
                   line.isEmpty()) {
            continue;
        } else {
            if (startsWithName(line, "upgrade:"))
                upgrade = true;
            forward(line);
        }
    }

    if (!routeHost || routeHost->isEmpty())
        return reply(404, QStringLiteral("unknown host"));
    const QString host = QString::fromUtf8(*routeHost).toLower();
    const std::optional<qint64> port = lookup(host);
    if (!port)
        return reply(404, QStringLiteral("unknown host"));

    forward("Host: localhost");
    forward(upgrade ? QByteArrayView("Connection: Upgrade") : QByteArrayView("Connection: close"));
    chunk.append(terminator);
    chunk.append(QByteArrayView(buffer).sliced(end + terminator.size()));

    Decision decision;
    decision.kind = Decision::Kind::proxy;
    decision.host = host;
    decision.port = *port;
    decision.firstChunk = std::move(chunk);
    decision.probe = probe;
    if (clientAddress && !clientAddress->isEmpty() && !probe)
        decision.visitor = QString::fromUtf8(*clientAddress);
    return decision;
}

} // namespace RequestHead
