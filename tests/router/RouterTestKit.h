#pragma once

#include "platform/Clock.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QTcpServer>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QTcpSocket;

namespace routertest {

// A TCP port on loopback that nothing listens on right now.
quint16 freePort();

// A clock the test moves by hand; safe to read from the router's thread.
class ManualClock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2025, 1, 1), QTime(12, 0), Qt::UTC))
        : ms_(start.toMSecsSinceEpoch()) {}
    Clock clock() {
        return [this] { return QDateTime::fromMSecsSinceEpoch(ms_.load(), Qt::UTC); };
    }
    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(ms_.load(), Qt::UTC); }
    void advance(double seconds) { ms_ += static_cast<qint64>(seconds * 1000); }

private:
    std::atomic<qint64> ms_;
};

// A local app on 127.0.0.1. For each connection it records every byte it receives and, once it
// has a complete request head, runs `onRequest` (by default: answers `response` and closes).
class TestApp : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QTcpSocket* socket, const QByteArray& received)>;

    TestApp();
    quint16 port() const { return server_.serverPort(); }

    QByteArray response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    // The default response as the client receives it through the router.
    static inline const QByteArray relayedResponse =
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    Handler onRequest;

    // Bytes received on each connection, in the order the connections arrived.
    QList<QByteArray> received() const;
    int connections() const { return static_cast<int>(received_.size()); }

private:
    QTcpServer server_;
    QList<std::shared_ptr<QByteArray>> received_;
};

// Connects to 127.0.0.1:port, sends `request` (one byte per write when `byteByByte`) and
// returns everything received until the router closes the connection.
struct Exchange {
    QByteArray received;
    bool closed = false;
};
Exchange exchange(quint16 port, const QByteArray& request, bool byteByByte = false,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));

// A request head with the given header lines after the request line. Like the tunnel, it names
// the routed host in a Host line first, unless the lines bring a Host line of their own.
QByteArray requestHead(const QList<QByteArray>& headerLines,
                       const QByteArray& requestLine = "GET / HTTP/1.1");

} // namespace routertest
