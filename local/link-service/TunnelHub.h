#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

// The edge's end of the tunnels: accepts the tunnel clients' control connections (one live
// connection per tunnel, authenticated by the tunnel's secret) and pairs the stream connections
// they open on request with the visitors waiting for them.
class TunnelHub : public QObject {
    Q_OBJECT
public:
    using Authorize = std::function<bool(const QString& tunnelId, const QString& secret)>;
    // Receives the stream socket (the caller takes ownership), or nullptr and the status to
    // answer the visitor with: 522 when the client cannot reach its origin, 530 when the
    // tunnel is not there or does not answer in time.
    using StreamReady = std::function<void(QTcpSocket* stream, int failureStatus)>;

    static constexpr int streamTimeoutMs = 10000;
    static constexpr int greetingTimeoutMs = 10000;

    explicit TunnelHub(Authorize authorize, QObject* parent = nullptr);
    ~TunnelHub() override;
    // With `tls` the tunnel port speaks TLS only, so no secret ever crosses the network in clear.
    bool listen(const QHostAddress& address, quint16 port,
                const std::optional<QSslConfiguration>& tls = std::nullopt);
    // A new certificate for the tunnel connections made from now on.
    void setTls(const QSslConfiguration& tls);
    quint16 serverPort() const { return server_->serverPort(); }
    QString errorString() const { return server_->errorString(); }

    bool isConnected(const QString& tunnelId) const;
    qsizetype connectedCount() const;
    void openStream(const QString& tunnelId, StreamReady ready);
    void dropTunnel(const QString& tunnelId);

private:
    struct Pending {
        QString tunnelId;
        StreamReady ready;
        QTimer* timer;
    };

    void accept();
    void adopt(QTcpSocket* socket);
    void greet(QTcpSocket* socket, const QByteArray& line);
    void registerControl(QTcpSocket* socket, const QString& tunnelId);
    void onControlLine(const QString& tunnelId, const QByteArray& line);
    void resolve(const QString& streamId, QTcpSocket* stream, int failureStatus);

    Authorize authorize_;
    // A TlsListener once `listen` was asked for TLS.
    std::unique_ptr<QTcpServer> server_;
    QTimer pingTimer_;
    QHash<QString, QPointer<QTcpSocket>> controls_;
    QHash<QString, Pending> pending_;
};
