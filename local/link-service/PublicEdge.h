#pragma once

#include "link-service/FaultTable.h"
#include "link-service/RequestJournal.h"
#include "link-service/TunnelHub.h"

#include <QHash>
#include <QObject>
#include <QTcpServer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class RequestReader;

// What the edge knows about the link behind one of its ports.
struct EdgeTarget {
    enum class State { unknown, ended, active };
    State state = State::unknown;
    QString tunnelId;
};

// The edge: on loopback one listening port per link ("localhost:<port>", plain HTTP); on the
// public face one TLS port for all links, each visitor handed over by `adopt`.
// A visitor's request goes into the link's install's tunnel with `x-skerrow-host` and
// `cf-connecting-ip` set by the edge; ended links, absent tunnels and unreachable origins get
// the edge's own answers.
class PublicEdge : public QObject {
    Q_OBJECT
public:
    using Lookup = std::function<EdgeTarget(const QString& host)>;

    PublicEdge(Lookup lookup, TunnelHub& hub, FaultTable& faults, RequestJournal& journal,
               QObject* parent = nullptr);

    // Opens a public port: `port`, or a free one when 0; nothing when it cannot be had.
    std::optional<quint16> open(quint16 port);
    void close(quint16 port);
    // Takes a visitor connection accepted on the shared public port (TLS): the link is the one
    // the Host header names, which must be the server name the visitor asked for, if any.
    void adopt(QTcpSocket* visitor, const QString& serverName);

    static QString hostFor(quint16 port);

    // Visitor requests so far: answered by the edge itself, by status class (index 1 to 5),
    // and delivered into a tunnel.
    struct Counts {
        std::array<quint64, 6> answeredByClass{};
        quint64 delivered = 0;
    };
    const Counts& counts() const { return counts_; }

private:
    void accept(QTcpServer* server, quint16 port);
    // Owns `visitor` from now on and reads its request head; a head that cannot be read gets
    // its error status, or the connection is dropped.
    RequestReader* readRequest(QTcpSocket* visitor);
    void answer(QTcpSocket* visitor, int status, const QByteArray& body,
                const QList<HttpHeader>& headers = {});
    void serve(QTcpSocket* visitor, const QString& host, const HttpRequestHead& head,
               const QByteArray& rest);
    void deliver(QTcpSocket* visitor, const QString& host, const QString& tunnelId,
                 HttpRequestHead head, const QByteArray& rest);

    Lookup lookup_;
    TunnelHub& hub_;
    FaultTable& faults_;
    RequestJournal& journal_;
    // Per port: the IPv4 listener and, where the system has it, the IPv6 one, so that a
    // browser resolving "localhost" to either address arrives.
    std::map<quint16, std::vector<std::unique_ptr<QTcpServer>>> servers_;
    // Open visitor connections per link on the public face.
    QHash<QString, int> openVisitors_;
    Counts counts_;
};
