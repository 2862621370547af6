#include "tunnel-client/EdgeConnection.h"

#include "common/Log.h"
#include "common/TunnelProtocol.h"
#include "tunnel-client/EdgeTls.h"

#include <QRandomGenerator>

EdgeConnection::EdgeConnection(const TunnelConfig& config, QObject* parent)
    : QObject(parent), config_(config) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &EdgeConnection::connectNow);
    silence_.setSingleShot(true);
    connect(&silence_, &QTimer::timeout, this, [this] {
        lost(socket_.state() == QAbstractSocket::ConnectedState
                 ? QStringLiteral("the edge fell silent")
                 : QStringLiteral("connecting timed out"));
    });
    connect(&socket_, &QTcpSocket::readyRead, this, &EdgeConnection::onReadable);
    connect(&socket_, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { lost(socket_.errorString()); });
}

void EdgeConnection::start() {
    connectNow();
}

void EdgeConnection::connectNow() {
    greeted_ = false;
    socket_.abort();
    silence_.start(connectTimeoutMs);
    // The secret goes out only once the connection is what the configuration asks for.
    dialEdge(socket_, config_.edgeHost, config_.edgePort, config_.edgeTls, [this] {
        silence_.start(TunnelProtocol::silenceLimitMs);
        socket_.write(QByteArray(TunnelProtocol::hello) + ' ' + config_.tunnelId.toUtf8() + ' ' +
                      config_.secret.toUtf8() + '\n');
    });
}

void EdgeConnection::onReadable() {
    silence_.start(TunnelProtocol::silenceLimitMs);
    while (socket_.canReadLine()) {
        onLine(socket_.readLine(TunnelProtocol::maxLineBytes + 1).trimmed());
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return;
    }
    if (socket_.bytesAvailable() > TunnelProtocol::maxLineBytes)
        lost(QStringLiteral("the edge sent an overlong line"));
}

void EdgeConnection::onLine(const QByteArray& line) {
    const QList<QByteArray> words = line.split(' ');
    if (!greeted_) {
        if (words[0] == TunnelProtocol::ok) {
            greeted_ = true;
            ready_ = true;
            backoffMs_ = firstBackoffMs;
            logLine("tunnel", QStringLiteral("connected tunnel %1 to the edge at %2:%3")
                                  .arg(config_.tunnelId, config_.edgeHost)
                                  .arg(config_.edgePort));
            return;
        }
        lost(words[0] == TunnelProtocol::denied
                 ? QStringLiteral("the edge refused the tunnel: %1")
                       .arg(QString::fromUtf8(line.mid(qsizetype(sizeof TunnelProtocol::denied))))
                 : QStringLiteral("the edge answered the greeting with garbage"));
        return;
    }
    if (words[0] == TunnelProtocol::ping) {
        socket_.write(QByteArray(TunnelProtocol::pong) + '\n');
    } else if (words.size() == 2 && words[0] == TunnelProtocol::open) {
        Q_EMIT streamRequested(words[1]);
    } else {
        logLine("tunnel", QStringLiteral("ignoring an unknown message from the edge"));
    }
}

void EdgeConnection::refuse(const QByteArray& streamId) {
    if (ready_)
        socket_.write(QByteArray(TunnelProtocol::refused) + ' ' + streamId + '\n');
}

void EdgeConnection::lost(const QString& why) {
    if (retry_.isActive())
        return;
    silence_.stop();
    if (ready_)
        logLine("tunnel", QStringLiteral("lost the edge connection: %1").arg(why));
    else
        logLine("tunnel", QStringLiteral("cannot connect to the edge at %1:%2: %3")
                              .arg(config_.edgeHost)
                              .arg(config_.edgePort)
                              .arg(why));
    ready_ = false;
    greeted_ = false;
    socket_.abort();
    // Between half and all of the current back-off, at random: clients that lost the edge
    // together (an edge restart) do not all come back in the same instant.
    const int delayMs = backoffMs_ / 2 + QRandomGenerator::global()->bounded(backoffMs_ / 2 + 1);
    logLine("tunnel", QStringLiteral("retrying in %1 ms").arg(delayMs));
    retry_.start(delayMs);
    backoffMs_ = std::min(backoffMs_ * 2, maxBackoffMs);
}
