#include "router/RequestHead.h"

#include <QByteArrayView>
#include <QList>
#include <utility>

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

// Splits "name[:port]" (a bracketed IPv6 literal keeps its colons) and lower-cases the name.
std::pair<QByteArray, QByteArrayView> splitAuthority(QByteArrayView authority) {
    const qsizetype colon = authority.lastIndexOf(':');
    const qsizetype bracket = authority.lastIndexOf(']');
    if (colon < 0 || colon < bracket)
        return {authority.toByteArray().toLower(), {}};
    return {authority.first(colon).toByteArray().toLower(), authority.sliced(colon + 1)};
}

// Whether the Host a request carries names the public host it is routed by. The tunnel delivers
// the visitor's Host, which is the public name, perhaps with the scheme's default port; a page
// that rebinds its own name to loopback can forge the routing header but not its own Host.
bool namesRouteHost(QByteArrayView host, QByteArrayView routeHost) {
    const auto [hostName, hostPort] = splitAuthority(host);
    const auto [routeName, routePort] = splitAuthority(routeHost);
    if (hostName.isEmpty() || hostName != routeName)
        return false;
    if (hostPort == routePort)
        return true;
    return routePort.isEmpty() && (hostPort == "443" || hostPort == "80");
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
    std::optional<QByteArrayView> hostValue;
    int hostLines = 0;
    std::optional<QByteArrayView> userAgent;
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
        } else if (startsWithName(line, "user-agent:")) {
            userAgent = valueOf(line);
            forward(line);
        } else if (startsWithName(line, "host:")) {
            hostValue = valueOf(line);
            ++hostLines;
        } else if (startsWithName(line, "connection:") || line.isEmpty()) {
            continue;
        } else {
            if (startsWithName(line, "upgrade:"))
                upgrade = true;
            forward(line);
        }
    }

    if (!routeHost || routeHost->isEmpty())
        return reply(404, QStringLiteral("unknown host"));
    if (hostLines != 1 || !namesRouteHost(*hostValue, *routeHost))
        return reply(misdirectedStatus, QString::fromLatin1(misdirectedBody));
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
    if (clientAddress && !clientAddress->isEmpty() && !probe) {
        decision.visitor = QString::fromUtf8(*clientAddress);
        // The request line is "METHOD target VERSION".
        const QList<QByteArray> parts = lines.front().toByteArray().split(' ');
        if (parts.size() > 1)
            decision.path = QString::fromUtf8(parts[1]);
        if (userAgent)
            decision.userAgent = QString::fromUtf8(*userAgent);
    }
    return decision;
}

} // namespace RequestHead
