#include "link-service/PublicEdge.h"

#include "common/ByteRelay.h"
#include "common/Log.h"
#include "common/RequestReader.h"
#include "link-service/AbuseLimits.h"
#include "link-service/PublicNames.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

QString visitorAddress(const QHostAddress& peer) {
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : peer.toString();
}

} // namespace

void PublicEdge::answer(QTcpSocket* visitor, int status, const QByteArray& body,
                        const QList<HttpHeader>& headers) {
    ++counts_.answeredByClass[static_cast<size_t>(std::clamp(status / 100, 0, 5))];
    visitor->write(httpResponse(status, body, headers));
    visitor->disconnectFromHost();
}

PublicEdge::PublicEdge(Lookup lookup, TunnelHub& hub, FaultTable& faults, RequestJournal& journal,
                       QObject* parent)
    : QObject(parent), lookup_(std::move(lookup)), hub_(hub), faults_(faults), journal_(journal) {}

QString PublicEdge::hostFor(quint16 port) {
    return QStringLiteral("localhost:%1").arg(port);
}

std::optional<quint16> PublicEdge::open(quint16 port) {
    auto v4 = std::make_unique<QTcpServer>();
    if (!v4->listen(QHostAddress::LocalHost, port)) {
        logLine("edge",
                QStringLiteral("cannot listen on port %1: %2").arg(port).arg(v4->errorString()));
        return std::nullopt;
    }
    const quint16 chosen = v4->serverPort();
    std::vector<std::unique_ptr<QTcpServer>> servers;
    servers.push_back(std::move(v4));
    auto v6 = std::make_unique<QTcpServer>();
    if (v6->listen(QHostAddress::LocalHostIPv6, chosen))
        servers.push_back(std::move(v6));
    for (const auto& server : servers) {
        QTcpServer* s = server.get();
        connect(s, &QTcpServer::newConnection, this, [this, s, chosen] { accept(s, chosen); });
    }
    servers_[chosen] = std::move(servers);
    return chosen;
}

void PublicEdge::close(quint16 port) {
    servers_.erase(port);
}

void PublicEdge::accept(QTcpServer* server, quint16 port) {
    while (QTcpSocket* visitor = server->nextPendingConnection()) {
        const QString host = hostFor(port);
        connect(readRequest(visitor), &RequestReader::complete, this,
                [this, visitor, host](const HttpRequestHead& head, const QByteArray& rest) {
                    serve(visitor, host, head, rest);
                });
    }
}

RequestReader* PublicEdge::readRequest(QTcpSocket* visitor) {
    visitor->setParent(this);
    connect(visitor, &QTcpSocket::disconnected, visitor, &QObject::deleteLater);
    auto* reader = new RequestReader(visitor, false);
    connect(reader, &RequestReader::failed, visitor, [this, visitor](int status) {
        if (status == 0)
            visitor->abort();
        else
            answer(visitor, status, reasonPhrase(status));
    });
    return reader;
}

void PublicEdge::adopt(QTcpSocket* visitor, const QString& serverName) {
    connect(readRequest(visitor), &RequestReader::complete, this,
            [this, visitor, serverName](const HttpRequestHead& head, const QByteArray& rest) {
                const QString host = PublicNames::hostName(head.header("host").value_or(""));
                // A visitor must not reach one link over a connection made for another.
                if (!serverName.isEmpty() && host != serverName) {
                    answer(visitor, 421, "This connection was made for another name.\n");
                    return;
                }
                int& open = openVisitors_[host];
                if (open >= AbuseLimits::visitorConnectionsPerLink) {
                    answer(visitor, 429, "This link has too many visitors right now.\n");
                    return;
                }
                ++open;
                connect(visitor, &QObject::destroyed, this, [this, host] {
                    if (--openVisitors_[host] <= 0)
                        openVisitors_.remove(host);
                });
                serve(visitor, host, head, rest);
            });
}

void PublicEdge::serve(QTcpSocket* visitor, const QString& host, const HttpRequestHead& head,
                       const QByteArray& rest) {
    const QString method = QString::fromLatin1(head.method);
    const qsizetype query = head.target.indexOf('?');
    const QString path = QString::fromUtf8(query < 0 ? head.target : head.target.left(query));
    journal_.record(QStringLiteral("edge"), head, {}, visitorAddress(visitor->peerAddress()));
    const EdgeTarget target = lookup_(host);
    logLine("edge", QStringLiteral("%1 %2 %3 from %4")
                        .arg(host, method, QString::fromUtf8(head.target),
                             visitorAddress(visitor->peerAddress())));
    const auto proceed = [this, visitor = QPointer<QTcpSocket>(visitor), host, head, rest,
                          target](const std::optional<Fault>& fault) {
        if (!visitor)
            return;
        if (fault && fault->status != 0) {
            answer(visitor, fault->status, fault->body);
            return;
        }
        switch (target.state) {
        case EdgeTarget::State::unknown:
            answer(visitor, 404, "unknown link\n");
            return;
        case EdgeTarget::State::ended:
            answer(visitor, 410, "This link has ended.\n", {{"x-skerrow-status", "ended"}});
            return;
        case EdgeTarget::State::active:
            deliver(visitor, host, target.tunnelId, head, rest);
            return;
        }
    };
    const std::optional<Fault> fault = faults_.take(QStringLiteral("edge"), method, path);
    if (fault && fault->hang)
        return;
    if (fault && fault->delaySeconds > 0) {
        QTimer::singleShot(static_cast<int>(fault->delaySeconds * 1000), this,
                           [proceed, fault] { proceed(fault); });
        return;
    }
    proceed(fault);
}

void PublicEdge::deliver(QTcpSocket* visitor, const QString& host, const QString& tunnelId,
                         HttpRequestHead head, const QByteArray& rest) {
    // The edge alone says which link and which visitor a request belongs to: whatever the
    // visitor sent under these names is replaced. A public edge picks the link by the Host it
    // was sent, so the Host it delivers is the link's name; this one picks it by port, and says
    // so the same way whatever address the visitor used.
    head.removeHeaders("x-skerrow-host");
    head.removeHeaders("cf-connecting-ip");
    head.removeHeaders("host");
    head.headers.prepend(HttpHeader{"Host", host.toUtf8()});
    head.headers.append(HttpHeader{"x-skerrow-host", host.toUtf8()});
    head.headers.append(
        HttpHeader{"cf-connecting-ip", visitorAddress(visitor->peerAddress()).toUtf8()});
    if (!head.isUpgrade()) {
        // Only the first head of a connection is looked at, so each visitor connection carries
        // one request: the answer's end closes it and the next request comes on a new one.
        head.removeHeaders("connection");
        head.headers.append(HttpHeader{"Connection", "close"});
    }
    hub_.openStream(tunnelId, [this, visitor = QPointer<QTcpSocket>(visitor), host,
                               first = head.serialize() + rest](QTcpSocket* stream, int status) {
        if (!visitor) {
            if (stream)
                stream->abort();
            return;
        }
        if (!stream) {
            logLine("edge", QStringLiteral("%1: answering %2").arg(host).arg(status));
            answer(visitor, status,
                   status == 522 ? "The origin behind this tunnel cannot be reached.\n"
                                 : "The tunnel of this link is not connected.\n");
            return;
        }
        ++counts_.delivered;
        new ByteRelay(visitor, stream, first, this);
    });
}
