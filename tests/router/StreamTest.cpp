// A 100 MiB response through the router to a client that reads slower than the app writes:
// every byte arrives in order, and the router holds no more than a few chunks at a time.
#include "RouterFixture.h"
#include "support/Wait.h"

#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

using routertest::requestHead;

namespace {

constexpr qint64 bodySize = 100LL * 1024 * 1024;
constexpr qint64 appWriteAhead = 4 * 1024 * 1024;
constexpr qint64 appChunk = 256 * 1024;
constexpr qint64 clientReadPerTick = 256 * 1024;
constexpr qint64 patternPeriod = 251;

// Body byte i is i % 251, so a lost, repeated or reordered chunk shows. `pattern().mid(i % 251,
// n)` holds the n bytes from offset i.
const QByteArray& pattern() {
    static const QByteArray bytes = [] {
        QByteArray all(patternPeriod + appChunk, '\0');
        for (qsizetype i = 0; i < all.size(); ++i)
            all[i] = static_cast<char>(i % patternPeriod);
        return all;
    }();
    return bytes;
}

QByteArrayView patternFrom(qint64 offset, qint64 size) {
    return QByteArrayView(pattern()).sliced(offset % patternPeriod, size);
}

qint64 residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.sliced(6).trimmed().split(' ').front().toLongLong() * 1024;
    }
    return 0;
}

TEST_F(RouterFixture, HundredMebibyteResponseStreamsWithBoundedMemory) {
    qint64 sent = 0;
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(bodySize) +
                      "\r\n\r\n");
        const auto more = [socket, &sent] {
            while (sent < bodySize && socket->bytesToWrite() < appWriteAhead) {
                const qint64 size = std::min(appChunk, bodySize - sent);
                socket->write(patternFrom(sent, size).toByteArray());
                sent += size;
            }
            if (sent == bodySize && socket->bytesToWrite() == 0)
                socket->disconnectFromHost();
        };
        QObject::connect(socket, &QIODevice::bytesWritten, socket, more);
        more();
    };

    const qint64 baseline = residentBytes();
    qint64 peak = baseline;
    QTcpSocket client;
    client.setReadBufferSize(clientReadPerTick);
    client.connectToHost(QHostAddress::LocalHost, routerPort);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(requestHead({"x-skerrow-host: shop.example.test"}));

    QByteArray head;
    qint64 bodyReceived = 0;
    bool intact = true;
    QTimer reader;
    QEventLoop loop;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        QByteArray bytes = client.read(clientReadPerTick);
        if (head.isEmpty() || !head.endsWith("\r\n\r\n")) {
            head += bytes;
            const qsizetype end = head.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            bytes = head.sliced(end + 4);
            head.truncate(end + 4);
        }
        intact = intact && bytes == patternFrom(bodyReceived, bytes.size());
        bodyReceived += bytes.size();
        peak = std::max(peak, residentBytes());
        if (bodyReceived == bodySize ||
            (client.state() == QAbstractSocket::UnconnectedState && client.bytesAvailable() == 0))
            loop.quit();
    });
    // A plain event loop: the app and the client must run at full speed, not between waits.
    QTimer::singleShot(std::chrono::seconds(60), &loop, &QEventLoop::quit);
    reader.start(1);
    loop.exec();
    reader.stop();

    EXPECT_EQ(head, "HTTP/1.1 200 OK\r\nContent-Length: 104857600\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(bodyReceived, bodySize);
    EXPECT_TRUE(intact);
    EXPECT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    const qint64 growth = peak - baseline;
    std::printf("resident memory growth while streaming 100 MiB: %.1f MiB\n",
                static_cast<double>(growth) / (1024.0 * 1024.0));
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer's quarantine keeps freed chunks resident, so the figure means nothing here.
    GTEST_SKIP() << "memory bound not measured under AddressSanitizer";
#else
    // Everything the test itself holds (the app's write-ahead, the client's buffer) plus the
    // router's few chunks stays far below the 100 MiB an unbounded relay would hold.
    EXPECT_LT(growth, 16LL * 1024 * 1024);
#endif
}

} // namespace
