#include "tunnel-client/EdgeTls.h"

#include <QSslConfiguration>

namespace {

const QSslConfiguration& edgeConfiguration() {
    static const QSslConfiguration configuration = [] {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.setProtocol(QSsl::TlsV1_2OrLater);
        c.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (const QString extra = qEnvironmentVariable("SSL_CERT_FILE"); !extra.isEmpty())
            c.addCaCertificates(extra);
        return c;
    }();
    return configuration;
}

} // namespace

void dialEdge(QSslSocket& socket, const QString& host, quint16 port, bool tls,
              const std::function<void()>& onReady) {
    // A socket dialled again must not still carry the readiness call of an attempt that failed.
    QObject::disconnect(&socket, &QSslSocket::connected, &socket, nullptr);
    QObject::disconnect(&socket, &QSslSocket::encrypted, &socket, nullptr);
    if (!tls) {
        QObject::connect(&socket, &QSslSocket::connected, &socket, onReady,
                         Qt::SingleShotConnection);
        socket.connectToHost(host, port);
        return;
    }
    socket.setSslConfiguration(edgeConfiguration());
    QObject::connect(&socket, &QSslSocket::encrypted, &socket, onReady, Qt::SingleShotConnection);
    socket.connectToHostEncrypted(host, port);
}
