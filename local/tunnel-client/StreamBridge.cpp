#include "tunnel-client/StreamBridge.h"

#include "common/ByteRelay.h"
#include "common/Log.h"
#include "common/TunnelProtocol.h"
#include "tunnel-client/EdgeTls.h"

StreamBridge::StreamBridge(const TunnelConfig& config, EdgeConnection& edge,
                           const QByteArray& streamId, QObject* parent)
    : QObject(parent), config_(config), edge_(edge), streamId_(streamId),
      origin_(new QTcpSocket(this)) {
    timeout_.setSingleShot(true);
    connect(&timeout_, &QTimer::timeout, this,
            [this] { originFailed(QStringLiteral("connecting timed out")); });
    timeout_.start(connectTimeoutMs);
    connect(origin_, &QTcpSocket::connected, this, &StreamBridge::openStream);
    connect(origin_, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError) { originFailed(origin_->errorString()); });
    origin_->connectToHost(config_.originHost, config_.originPort);
}

void StreamBridge::originFailed(const QString& why) {
    logLine("ingress", QStringLiteral("cannot reach the origin http://%1:%2: %3")
                           .arg(config_.originHost)
                           .arg(config_.originPort)
                           .arg(why));
    edge_.refuse(streamId_);
    deleteLater();
}

void StreamBridge::openStream() {
    timeout_.stop();
    origin_->disconnect(this);
    stream_ = new QSslSocket(this);
    const auto ready = [this] {
        stream_->write(QByteArray(TunnelProtocol::stream) + ' ' + streamId_ + '\n');
        stream_->disconnect(this);
        // The relay outlives this bridge: it takes both sockets and deletes itself when done.
        new ByteRelay(stream_, origin_, {}, parent());
        deleteLater();
    };
    connect(stream_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        logLine("tunnel",
                QStringLiteral("cannot open a stream to the edge: %1").arg(stream_->errorString()));
        deleteLater();
    });
    dialEdge(*stream_, config_.edgeHost, config_.edgePort, config_.edgeTls, ready);
}
