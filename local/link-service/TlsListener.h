#pragma once

#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>

// A TLS listener that also learns the server name each visitor asked for: it peeks at the
// ClientHello (left in the socket for the TLS layer) before the handshake starts. A new
// configuration applies to the connections accepted after it; those already open keep theirs.
class TlsListener : public QTcpServer {
    Q_OBJECT
public:
    // Time for the ClientHello and the whole handshake: a visitor that stalls is dropped.
    static constexpr int handshakeTimeoutMs = 10000;
    // The largest first record TLS allows (16 KiB plus header and expansion).
    static constexpr qsizetype maxHelloBytes = 16384 + 2048 + 5;

    explicit TlsListener(const QSslConfiguration& configuration, QObject* parent = nullptr);
    void setConfiguration(const QSslConfiguration& configuration) {
        configuration_ = configuration;
    }

Q_SIGNALS:
    // A finished handshake; the socket is a child of the listener until someone takes it.
    void secured(QSslSocket* socket, const QString& serverName);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void startTls(qintptr descriptor, const QString& serverName, int msLeft);

    QSslConfiguration configuration_;
};
