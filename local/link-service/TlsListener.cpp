#include "link-service/TlsListener.h"

#include "link-service/ClientHello.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A ClientHello split over several segments is rare; until the rest arrives the listener looks
// again at this interval instead of spinning on a socket that stays readable.
constexpr int helloRetryMs = 10;

// Waits for the first TLS record without taking it from the socket, then reports the name.
class HelloPeek : public QObject {
public:
    using Done = std::function<void(qintptr descriptor, const QString& serverName, int msLeft)>;

    HelloPeek(qintptr descriptor, Done done, QObject* parent)
        : QObject(parent), descriptor_(descriptor), done_(std::move(done)),
          deadline_(TlsListener::handshakeTimeoutMs), notifier_(descriptor, QSocketNotifier::Read) {
        connect(&notifier_, &QSocketNotifier::activated, this, &HelloPeek::look);
        retry_.setSingleShot(true);
        connect(&retry_, &QTimer::timeout, this, [this] { notifier_.setEnabled(true); });
        expiry_.setSingleShot(true);
        connect(&expiry_, &QTimer::timeout, this, [this] { giveUp(); });
        expiry_.start(TlsListener::handshakeTimeoutMs);
    }
    ~HelloPeek() override {
        if (!handedOver_)
            ::close(static_cast<int>(descriptor_));
    }

private:
    void look() {
        QByteArray buffer(TlsListener::maxHelloBytes, Qt::Uninitialized);
        const ssize_t got = ::recv(static_cast<int>(descriptor_), buffer.data(),
                                   static_cast<size_t>(buffer.size()), MSG_PEEK | MSG_DONTWAIT);
        if (got <= 0) {
            if (got == 0 || (errno != EAGAIN && errno != EINTR))
                giveUp();
            return;
        }
        const ClientHelloScan scan = scanClientHello(QByteArrayView(buffer.constData(), got));
        if (scan.status == ClientHelloScan::Status::incomplete && got < buffer.size()) {
            notifier_.setEnabled(false);
            retry_.start(helloRetryMs);
            return;
        }
        // The TLS layer reads this descriptor from now on: no second notifier may watch it.
        notifier_.setEnabled(false);
        handedOver_ = true;
        const auto msLeft = static_cast<int>(deadline_.remainingTime());
        done_(descriptor_, scan.serverName, msLeft);
        deleteLater();
    }
    void giveUp() {
        notifier_.setEnabled(false);
        deleteLater();
    }

    qintptr descriptor_;
    Done done_;
    QDeadlineTimer deadline_;
    QSocketNotifier notifier_;
    QTimer retry_;
    QTimer expiry_;
    bool handedOver_ = false;
};

} // namespace

TlsListener::TlsListener(const QSslConfiguration& configuration, QObject* parent)
    : QTcpServer(parent), configuration_(configuration) {}

void TlsListener::incomingConnection(qintptr descriptor) {
    new HelloPeek(
        descriptor,
        [this](qintptr d, const QString& name, int msLeft) { startTls(d, name, msLeft); }, this);
}

void TlsListener::startTls(qintptr descriptor, const QString& serverName, int msLeft) {
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        socket->deleteLater();
        return;
    }
    socket->setSslConfiguration(configuration_);
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    auto* handshake = new QTimer(socket);
    handshake->setSingleShot(true);
    connect(handshake, &QTimer::timeout, socket, &QSslSocket::abort);
    handshake->start(std::max(msLeft, 1));
    connect(socket, &QSslSocket::sslErrors, socket, &QSslSocket::abort);
    connect(socket, &QSslSocket::encrypted, this, [this, socket, handshake, serverName] {
        delete handshake;
        Q_EMIT secured(socket, serverName);
    });
    socket->startServerEncryption();
}
