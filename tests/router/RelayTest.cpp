// The relay between a client and the app over real TCP: the response head rewrite, the byte
// streams both ways, upgraded connections and the 502 answer.
#include "RouterFixture.h"
#include "support/Wait.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

using routertest::requestHead;

namespace {

const QByteArray routedGet = requestHead({"x-skerrow-host: shop.example.test"});

TEST_F(RouterFixture, KeepAliveResponseReachesTheClientWithConnectionClose) {
    app.response = "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5, max=100\r\n"
                   "Content-Length: 5\r\nCONNECTION: Upgrade\r\n\r\nhello";
    EXPECT_EQ(send(routedGet).received,
              "HTTP/1.1 200 OK\r\nKeep-Alive: timeout=5, max=100\r\nContent-Length: 5\r\n"
              "Connection: close\r\n\r\nhello");
}

TEST_F(RouterFixture, ResponseHeadSplitOverReadsIsRewrittenWhenComplete) {
    const QList<QByteArray> pieces = {"HTTP/1.1 200 OK\r\nConn", "ection: keep-alive\r\nX-A: 1\r",
                                      "\n\r", "\nbody"};
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        for (const QByteArray& piece : pieces) {
            socket->write(piece);
            waitUntil([&] { return socket->bytesToWrite() == 0; });
        }
        socket->disconnectFromHost();
    };
    EXPECT_EQ(send(routedGet).received,
              "HTTP/1.1 200 OK\r\nX-A: 1\r\nConnection: close\r\n\r\nbody");
}

TEST_F(RouterFixture, ResponseHeadsThatCannotBeRewrittenPassUnchanged) {
    const QByteArray longHead =
        "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nX-Big: " + QByteArray(65536, 'b') +
        "\r\n\r\nbody";
    const QByteArray justFits = "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nX-Big: ";
    const QByteArray headOfLimit = justFits + QByteArray(65535 - justFits.size(), 'c');
    for (const QByteArray& unchanged :
         {longHead, QByteArray("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nX: \xff\r\n\r\nx"),
          QByteArray("HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nno end of head"),
          QByteArray("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                     "Connection: Upgrade\r\n\r\n")}) {
        app.response = unchanged;
        EXPECT_EQ(send(routedGet).received, unchanged) << unchanged.left(80).constData();
    }
    // A head of exactly 65535 bytes is still rewritten.
    app.response = headOfLimit + "\r\n\r\n";
    EXPECT_EQ(send(routedGet).received,
              "HTTP/1.1 200 OK\r\nX-Big: " + headOfLimit.sliced(justFits.size()) +
                  "\r\nConnection: close\r\n\r\n");
}

TEST_F(RouterFixture, AppThatClosesWithoutAnsweringClosesTheClient) {
    app.onRequest = [](QTcpSocket* socket, const QByteArray&) { socket->disconnectFromHost(); };
    const routertest::Exchange answer = send(routedGet);
    EXPECT_TRUE(answer.closed);
    EXPECT_TRUE(answer.received.isEmpty());
}

TEST_F(RouterFixture, NoAppOnThePortGetsExactly502) {
    router->setRoutes({RouteRule{host, routertest::freePort()}});
    const routertest::Exchange answer = send(routedGet);
    EXPECT_TRUE(answer.closed);
    EXPECT_EQ(answer.received, "HTTP/1.1 502 Bad Gateway\r\nContent-Type: text/plain\r\n"
                               "Content-Length: 18\r\nConnection: close\r\n\r\n"
                               "origin unavailable");
    // A port that cannot exist is just as unavailable.
    router->setRoutes({RouteRule{host, 70000}});
    EXPECT_TRUE(send(routedGet).received.startsWith("HTTP/1.1 502 Bad Gateway\r\n"));
}

TEST_F(RouterFixture, BodySentAfterTheHeadReachesTheAppInOrder) {
    QByteArray body;
    for (int i = 0; i < 300000; ++i)
        body.append(static_cast<char>('a' + i % 26));
    const QByteArray head = requestHead(
        {"x-skerrow-host: shop.example.test", "Content-Length: " + QByteArray::number(body.size())},
        "PUT /upload HTTP/1.1");
    // The app answers only once it holds the whole body.
    app.onRequest = [](QTcpSocket*, const QByteArray&) {};
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, routerPort);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(head);
    ASSERT_TRUE(waitUntil([&] { return app.connections() == 1; }));
    client.write(body);
    ASSERT_TRUE(waitUntil([&] { return app.received().front().endsWith(body.right(100)); }));
    const QByteArray received = app.received().front();
    EXPECT_EQ(received.sliced(received.indexOf("\r\n\r\n") + 4), body);
}

// An app that takes its upload slowly: the router must hold back what the app cannot take yet
// and still deliver every byte, in order, without reading the client further ahead.
TEST_F(RouterFixture, UploadToASlowReaderArrivesIntact) {
    constexpr qsizetype bodySize = 4 * 1024 * 1024;
    constexpr qint64 appReadPerTick = 64 * 1024;
    QByteArray body(bodySize, Qt::Uninitialized);
    for (qsizetype i = 0; i < bodySize; ++i)
        body[i] = static_cast<char>(i % 251);
    QTcpServer slowApp;
    ASSERT_TRUE(slowApp.listen(QHostAddress::LocalHost, 0));
    router->setRoutes({RouteRule{host, slowApp.serverPort()}});
    QByteArray received;
    QTimer reader;
    QTcpSocket* appSide = nullptr;
    QObject::connect(&slowApp, &QTcpServer::newConnection, [&] {
        appSide = slowApp.nextPendingConnection();
        appSide->setReadBufferSize(appReadPerTick);
        QObject::connect(&reader, &QTimer::timeout,
                         [&] { received += appSide->read(appReadPerTick); });
        reader.start(1);
    });

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, routerPort);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(requestHead(
        {"x-skerrow-host: shop.example.test", "Content-Length: " + QByteArray::number(bodySize)},
        "PUT /upload HTTP/1.1"));
    client.write(body);
    const auto complete = [&] {
        const qsizetype end = received.indexOf("\r\n\r\n");
        return end >= 0 && received.size() - end - 4 >= bodySize;
    };
    ASSERT_TRUE(waitUntil(complete, std::chrono::seconds(30)));
    EXPECT_TRUE(received.sliced(received.indexOf("\r\n\r\n") + 4) == body);
}

TEST_F(RouterFixture, WebSocketSessionPassesFramesBothWays) {
    QWebSocketServer server(QStringLiteral("app"), QWebSocketServer::NonSecureMode);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    // The client names the router's own address as its Host, so that is the routed host here.
    const QString routerHost = QStringLiteral("127.0.0.1:%1").arg(routerPort);
    router->setRoutes({RouteRule{routerHost, server.serverPort()}});
    QList<QString> serverGot;
    QObject::connect(&server, &QWebSocketServer::newConnection, [&] {
        QWebSocket* peer = server.nextPendingConnection();
        peer->setParent(&server);
        QObject::connect(peer, &QWebSocket::textMessageReceived, peer, [&, peer](const QString& m) {
            serverGot.append(m);
            peer->sendTextMessage(QStringLiteral("echo:") + m);
        });
        QObject::connect(peer, &QWebSocket::binaryMessageReceived, peer,
                         [peer](const QByteArray& m) { peer->sendBinaryMessage(m + m); });
    });

    QWebSocket client;
    QList<QString> clientGot;
    QByteArray binaryGot;
    QObject::connect(&client, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { clientGot.append(m); });
    QObject::connect(&client, &QWebSocket::binaryMessageReceived,
                     [&](const QByteArray& m) { binaryGot = m; });
    QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(routerPort)));
    request.setRawHeader("x-skerrow-host", routerHost.toUtf8());
    client.open(request);
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));

    client.sendTextMessage(QStringLiteral("one"));
    client.sendTextMessage(QStringLiteral("two"));
    const QByteArray big(200000, 'z');
    client.sendBinaryMessage(big);
    ASSERT_TRUE(waitUntil([&] { return clientGot.size() == 2 && !binaryGot.isEmpty(); }));
    EXPECT_EQ(serverGot, (QList<QString>{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(clientGot, (QList<QString>{QStringLiteral("echo:one"), QStringLiteral("echo:two")}));
    EXPECT_EQ(binaryGot, big + big);

    // Closing one side ends the relayed connection on the other.
    client.close();
    EXPECT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
}

} // namespace
