#pragma once

#include "tunnel-client/TunnelConfig.h"

#include <QObject>
#include <QSslSocket>
#include <QTimer>

// The tunnel's control connection to the edge: greets with the tunnel's credentials, answers
// pings, reports stream requests, and reconnects with growing, capped and jittered back-off
// whenever the edge goes away, refuses the tunnel or falls silent.
class EdgeConnection : public QObject {
    Q_OBJECT
public:
    static constexpr int firstBackoffMs = 250;
    static constexpr int maxBackoffMs = 5000;
    static constexpr int connectTimeoutMs = 5000;

    explicit EdgeConnection(const TunnelConfig& config, QObject* parent = nullptr);
    void start();
    // Whether the edge has accepted the tunnel on a live connection.
    bool isReady() const { return ready_; }
    void refuse(const QByteArray& streamId);

Q_SIGNALS:
    void streamRequested(const QByteArray& streamId);

private:
    void connectNow();
    void onReadable();
    void onLine(const QByteArray& line);
    void lost(const QString& why);

    TunnelConfig config_;
    QSslSocket socket_;
    QTimer retry_;
    QTimer silence_;
    int backoffMs_ = firstBackoffMs;
    bool ready_ = false;
    bool greeted_ = false;
};
