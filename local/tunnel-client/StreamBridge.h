#pragma once

#include "tunnel-client/EdgeConnection.h"
#include "tunnel-client/TunnelConfig.h"

#include <QObject>

// Serves one stream request of the edge: connects to the ingress service, then opens the
// stream connection to the edge and relays bytes both ways. When the origin cannot be
// reached the edge is told, so that the visitor gets the "origin unreachable" answer.
class StreamBridge : public QObject {
    Q_OBJECT
public:
    static constexpr int connectTimeoutMs = 5000;

    StreamBridge(const TunnelConfig& config, EdgeConnection& edge, const QByteArray& streamId,
                 QObject* parent);

private:
    void originFailed(const QString& why);
    void openStream();

    const TunnelConfig& config_;
    EdgeConnection& edge_;
    QByteArray streamId_;
    QTcpSocket* origin_;
    QSslSocket* stream_ = nullptr;
    QTimer timeout_;
};
