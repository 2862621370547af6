#include "router/RouterCore.h"

#include "router/HeadReader.h"

#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

RouterCore::RouterCore(quint16 listeningPort, Clock clock)
    : listeningPort_(listeningPort), clock_(std::move(clock)) {}

void RouterCore::setRoutes(const QList<RouteRule>& rules) {
    QHash<QString, qint64> table;
    for (const RouteRule& rule : rules)
        table.insert(rule.host.toLower(), rule.port);
    routes_ = std::move(table);
    const QList<QString> hosts = routes_.keys();
    visitors_.retainOnly(QSet<QString>(hosts.begin(), hosts.end()));
    if (routes_.isEmpty())
        stopLocked();
    else
        startLocked();
}

void RouterCore::stop() {
    routes_.clear();
    stopLocked();
}

Visitors RouterCore::visitors(const QString& host) {
    return visitors_.snapshot(host, clock_());
}

std::optional<qint64> RouterCore::port(const QString& host) const {
    const auto it = routes_.constFind(host.toLower());
    if (it == routes_.constEnd())
        return std::nullopt;
    return it.value();
}

void RouterCore::recordVisitor(const QString& host, const QString& address) {
    visitors_.record(host, address, clock_());
}

void RouterCore::startLocked() {
    if (listener_)
        return;
    auto* listener = new QTcpServer(this);
    listener->setListenBacklogSize(listenBacklog);
    listener_ = listener;
    connect(listener, &QTcpServer::newConnection, this, &RouterCore::acceptPending);
    connect(listener, &QTcpServer::acceptError, this,
            [this, listener](QAbstractSocket::SocketError) { listenerFailed(listener); });
    // Any address, IPv4 and IPv6: the tunnel client may reach us over either loopback.
    if (listener->listen(QHostAddress::Any, listeningPort_))
        ready_ = true;
    else
        listenerFailed(listener);
}

void RouterCore::stopLocked() {
    if (listener_) {
        listener_->disconnect(this);
        listener_->close();
        listener_->deleteLater();
    }
    listener_ = nullptr;
    ready_ = false;
}

// The port is taken or the listener broke: tear it down and try again shortly, for as long as
// there are routes to serve.
void RouterCore::listenerFailed(QTcpServer* failed) {
    if (failed != listener_)
        return;
    stopLocked();
    QTimer::singleShot(restartDelayMs, this, [this] {
        if (!routes_.isEmpty())
            startLocked();
    });
}

void RouterCore::acceptPending() {
    while (QTcpServer* listener = listener_.data()) {
        QTcpSocket* client = listener->nextPendingConnection();
        if (!client)
            return;
        new HeadReader(client, this);
    }
}
