#include "link-service/TunnelHub.h"

#include "common/Log.h"
#include "common/TunnelProtocol.h"
#include "link-service/TlsListener.h"

#include <QRandomGenerator>
#include <algorithm>

namespace {

QString newStreamId() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex());
}

// Reads whole lines while they are there; false when the peer overran the line limit.
bool readLines(QTcpSocket* socket, const std::function<bool(const QByteArray&)>& onLine) {
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(TunnelProtocol::maxLineBytes + 1).trimmed();
        if (!onLine(line))
            return true;
    }
    return socket->bytesAvailable() <= TunnelProtocol::maxLineBytes;
}

} // namespace

TunnelHub::TunnelHub(Authorize authorize, QObject* parent)
    : QObject(parent), authorize_(std::move(authorize)), server_(std::make_unique<QTcpServer>()) {
    connect(server_.get(), &QTcpServer::newConnection, this, &TunnelHub::accept);
    pingTimer_.setInterval(TunnelProtocol::pingIntervalMs);
    connect(&pingTimer_, &QTimer::timeout, this, [this] {
        for (const QPointer<QTcpSocket>& s : std::as_const(controls_)) {
            if (s)
                s->write(QByteArray(TunnelProtocol::ping) + '\n');
        }
    });
    pingTimer_.start();
}

TunnelHub::~TunnelHub() {
    // The connections are children of the server, which would close them only after the tables
    // and callbacks their handlers use are gone, and closing reports "disconnected". Cut the
    // handlers first, then close the connections while everything is still whole.
    server_->close();
    const QList<QTcpSocket*> sockets =
        server_->findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        delete socket;
    }
}

bool TunnelHub::listen(const QHostAddress& address, quint16 port,
                       const std::optional<QSslConfiguration>& tls) {
    if (tls) {
        auto listener = std::make_unique<TlsListener>(*tls);
        connect(listener.get(), &TlsListener::secured, this,
                [this](QSslSocket* socket, const QString&) { adopt(socket); });
        server_ = std::move(listener);
    }
    return server_->listen(address, port);
}

void TunnelHub::setTls(const QSslConfiguration& tls) {
    if (auto* listener = qobject_cast<TlsListener*>(server_.get()))
        listener->setConfiguration(tls);
}

bool TunnelHub::isConnected(const QString& tunnelId) const {
    const QPointer<QTcpSocket> s = controls_.value(tunnelId);
    return s && s->state() == QAbstractSocket::ConnectedState;
}

qsizetype TunnelHub::connectedCount() const {
    return std::count_if(controls_.cbegin(), controls_.cend(), [](const QPointer<QTcpSocket>& s) {
        return s && s->state() == QAbstractSocket::ConnectedState;
    });
}

void TunnelHub::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection())
        adopt(socket);
}

void TunnelHub::adopt(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto* greeting = new QTimer(socket);
    greeting->setSingleShot(true);
    connect(greeting, &QTimer::timeout, socket, &QTcpSocket::abort);
    greeting->start(greetingTimeoutMs);
    const auto onReadable = [this, socket, greeting] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > TunnelProtocol::maxLineBytes)
                socket->abort();
            return;
        }
        greeting->stop();
        socket->disconnect(this);
        greet(socket, socket->readLine(TunnelProtocol::maxLineBytes + 1).trimmed());
    };
    connect(socket, &QTcpSocket::readyRead, this, onReadable);
    // A TLS connection may bring its greeting along with the end of the handshake.
    if (socket->bytesAvailable() > 0)
        onReadable();
}

void TunnelHub::greet(QTcpSocket* socket, const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() == 3 && words[0] == TunnelProtocol::hello) {
        const QString tunnelId = QString::fromUtf8(words[1]);
        if (!authorize_(tunnelId, QString::fromUtf8(words[2]))) {
            logLine("tunnel", QStringLiteral("denied tunnel %1").arg(tunnelId));
            socket->write(QByteArray(TunnelProtocol::denied) + " unknown tunnel or secret\n");
            socket->disconnectFromHost();
            return;
        }
        registerControl(socket, tunnelId);
        return;
    }
    if (words.size() == 2 && words[0] == TunnelProtocol::stream) {
        const QString streamId = QString::fromLatin1(words[1]);
        if (!pending_.contains(streamId)) {
            socket->abort();
            return;
        }
        resolve(streamId, socket, 0);
        return;
    }
    logLine("tunnel",
            QStringLiteral("unexpected greeting from %1").arg(socket->peerAddress().toString()));
    socket->abort();
}

void TunnelHub::registerControl(QTcpSocket* socket, const QString& tunnelId) {
    if (const QPointer<QTcpSocket> old = controls_.value(tunnelId); old && old != socket)
        old->abort();
    controls_.insert(tunnelId, socket);
    socket->write(QByteArray(TunnelProtocol::ok) + '\n');
    logLine("tunnel", QStringLiteral("tunnel %1 connected from %2")
                          .arg(tunnelId, socket->peerAddress().toString()));
    auto* silence = new QTimer(socket);
    silence->setSingleShot(true);
    connect(silence, &QTimer::timeout, socket, &QTcpSocket::abort);
    silence->start(TunnelProtocol::silenceLimitMs);
    const auto onReadable = [this, socket, silence, tunnelId] {
        silence->start(TunnelProtocol::silenceLimitMs);
        if (!readLines(socket, [&](const QByteArray& l) {
                onControlLine(tunnelId, l);
                return true;
            }))
            socket->abort();
    };
    connect(socket, &QTcpSocket::readyRead, this, onReadable);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket, tunnelId] {
        if (controls_.value(tunnelId) != socket)
            return;
        controls_.remove(tunnelId);
        logLine("tunnel", QStringLiteral("tunnel %1 disconnected").arg(tunnelId));
        const QStringList waiting = pending_.keys();
        for (const QString& id : waiting) {
            if (pending_.value(id).tunnelId == tunnelId)
                resolve(id, nullptr, 530);
        }
    });
    if (socket->bytesAvailable() > 0)
        onReadable();
}

void TunnelHub::onControlLine(const QString& tunnelId, const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() == 2 && words[0] == TunnelProtocol::refused) {
        const QString streamId = QString::fromLatin1(words[1]);
        if (pending_.value(streamId).tunnelId == tunnelId)
            resolve(streamId, nullptr, 522);
    }
}

void TunnelHub::openStream(const QString& tunnelId, StreamReady ready) {
    const QPointer<QTcpSocket> control = controls_.value(tunnelId);
    if (!control || control->state() != QAbstractSocket::ConnectedState) {
        ready(nullptr, 530);
        return;
    }
    const QString streamId = newStreamId();
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, streamId] { resolve(streamId, nullptr, 530); });
    timer->start(streamTimeoutMs);
    pending_.insert(streamId, Pending{tunnelId, std::move(ready), timer});
    control->write(QByteArray(TunnelProtocol::open) + ' ' + streamId.toLatin1() + '\n');
}

void TunnelHub::resolve(const QString& streamId, QTcpSocket* stream, int failureStatus) {
    const auto it = pending_.find(streamId);
    if (it == pending_.end())
        return;
    const Pending pending = it.value();
    pending_.erase(it);
    pending.timer->deleteLater();
    pending.ready(stream, failureStatus);
}

void TunnelHub::dropTunnel(const QString& tunnelId) {
    if (const QPointer<QTcpSocket> s = controls_.value(tunnelId))
        s->abort();
}
