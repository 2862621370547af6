// Requests relayed by the real router to a real app are recorded with every field, and the
// capture never stands in the traffic's way.
#include "HistoryFixture.h"
#include "history/BodySink.h"

#include <QDir>
#include <QFileInfo>
#include <QTcpSocket>

using routertest::requestHead;

namespace {

TEST_F(HistoryFixture, RelayedRequestIsRecordedWithEveryField) {
    app.response = "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\n"
                   "Content-Length: 11\r\n\r\n{\"ok\":true}";
    const QByteArray body = "name=ada&lang=en";
    const QByteArray request =
        requestHead({"x-skerrow-host: Shop.Example.Test", "cf-connecting-ip: 203.0.113.7",
                     "Content-Type: application/x-www-form-urlencoded",
                     "Content-Length: " + QByteArray::number(body.size())},
                    "POST /hooks/pay?x=1 HTTP/1.1") +
        body;
    const QDateTime before = QDateTime::currentDateTimeUtc();
    ASSERT_TRUE(send(request).received.startsWith("HTTP/1.1 201 Created"));
    ASSERT_TRUE(waitStored(1));

    const RecordedRequest r = only();
    EXPECT_EQ(r.link, host);
    EXPECT_EQ(r.visitor, QStringLiteral("203.0.113.7"));
    EXPECT_EQ(r.appPort, app.port());
    EXPECT_EQ(r.method, QStringLiteral("POST"));
    EXPECT_EQ(r.target, QStringLiteral("/hooks/pay?x=1"));
    EXPECT_EQ(r.version, QStringLiteral("HTTP/1.1"));
    // The head as the app got it, which is what a replay sends again.
    const QByteArray appGot = app.received().value(0);
    EXPECT_EQ(r.requestHead + r.requestBody.bytes, appGot);
    EXPECT_TRUE(r.requestHead.contains("\r\nHost: localhost\r\n"));
    EXPECT_EQ(r.requestBody.bytes, body);
    EXPECT_EQ(r.requestBody.size, body.size());
    EXPECT_FALSE(r.requestBody.truncated());
    EXPECT_EQ(r.status, 201);
    EXPECT_EQ(r.responseHead, "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\n"
                              "Content-Length: 11\r\n\r\n");
    EXPECT_EQ(r.responseBody.bytes, "{\"ok\":true}");
    EXPECT_EQ(r.ending, QStringLiteral("complete"));
    EXPECT_FALSE(r.incomplete);
    EXPECT_FALSE(r.upgraded);
    EXPECT_EQ(r.replayOf, 0);
    EXPECT_GE(r.acceptedMs, before.toMSecsSinceEpoch() - 1);
    EXPECT_LE(r.acceptedMs, QDateTime::currentMSecsSinceEpoch());
    EXPECT_GE(r.headUs, 0);
    EXPECT_LE(r.headUs, r.connectedUs);
    EXPECT_LE(r.connectedUs, r.firstByteUs);
    EXPECT_LE(r.firstByteUs, r.doneUs);
}

TEST_F(HistoryFixture, HowARequestEndedIsRecorded) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString ending;
    };
    const quint16 nothingListens = routertest::freePort();
    const std::vector<Case> cases = {
        {"app refuses the connection",
         [&] {
             router->setRoutes({RouteRule{host, nothingListens}});
         },
         QStringLiteral("app refused")},
        {"app closes without answering",
         [&] {
             router->setRoutes({RouteRule{host, app.port()}});
             app.onRequest = [](QTcpSocket* socket, const QByteArray&) {
                 socket->disconnectFromHost();
             };
         },
         QStringLiteral("no answer")},
    };
    qint64 stored = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        send(requestHead({"x-skerrow-host: shop.example.test"}));
        ASSERT_TRUE(waitStored(++stored));
        const QList<qint64> ids = reader->ids();
        EXPECT_EQ(reader->entry(ids.back())->ending, c.ending);
    }
}

// An app that keeps its connection open after answering: the visitor closes, and whether it had
// the whole answer by then decides how the request ended.
TEST_F(HistoryFixture, VisitorClosingAfterTheWholeAnswerIsComplete) {
    struct Case {
        const char* name;
        QByteArray answer;
        QString ending;
    };
    const std::vector<Case> cases = {
        {"whole body", "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nfull",
         QStringLiteral("complete")},
        {"last chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n",
         QStringLiteral("complete")},
        {"half the body", "HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\nhalf",
         QStringLiteral("visitor gone")},
    };
    qint64 stored = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        app.onRequest = [&c](QTcpSocket* socket, const QByteArray&) { socket->write(c.answer); };
        QTcpSocket visitor;
        visitor.connectToHost(QHostAddress::LocalHost, routerPort);
        ASSERT_TRUE(visitor.waitForConnected(5000));
        visitor.write(requestHead({"x-skerrow-host: shop.example.test"}));
        QByteArray got;
        ASSERT_TRUE(waitUntil([&] {
            got += visitor.readAll();
            return got.endsWith(c.answer.sliced(c.answer.indexOf("\r\n\r\n") + 4));
        }));
        visitor.close();
        ASSERT_TRUE(waitStored(++stored));
        EXPECT_EQ(reader->entry(reader->ids().back())->ending, c.ending);
    }
}

TEST_F(HistoryFixture, ProbesAreNotRecorded) {
    send(requestHead({"x-skerrow-host: shop.example.test", "X-Skerrow-Probe: 1"}));
    send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /after HTTP/1.1"));
    ASSERT_TRUE(waitStored(1));
    EXPECT_EQ(only().target, QStringLiteral("/after"));
}

TEST_F(HistoryFixture, PausedCaptureRecordsNothing) {
    queue->setPaused(true);
    send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /paused HTTP/1.1"));
    queue->setPaused(false);
    send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /resumed HTTP/1.1"));
    ASSERT_TRUE(waitStored(1));
    EXPECT_EQ(only().target, QStringLiteral("/resumed"));
}

// A queue with no room refuses every copy: the visitors are served all the same, and the
// refusals are counted.
TEST_F(HistoryFixture, FullQueueDropsCapturesNotTraffic) {
    router->setCapture(nullptr);
    startCapture(HistoryStore::defaultCapBytes, 0, 0);
    constexpr int requests = 20;
    for (int i = 0; i < requests; ++i) {
        EXPECT_EQ(send(requestHead({"x-skerrow-host: shop.example.test"})).received,
                  routertest::TestApp::relayedResponse);
    }
    EXPECT_EQ(queue->droppedRequests(), requests);
    EXPECT_EQ(reader->count(), 0);
}

// Once a request is begun, a copy the queue refuses leaves the entry marked incomplete: what
// came after the refusal is counted, not kept. The queue here takes a head but no whole read.
TEST_F(HistoryFixture, RefusedCopyMarksTheEntryIncomplete) {
    router->setCapture(nullptr);
    constexpr qsizetype queueBytes = 1000;
    startCapture(HistoryStore::defaultCapBytes, queueBytes);
    const QByteArray body(qsizetype(1024) * 1024, 'b');
    app.response =
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    const QByteArray relayed = send(requestHead({"x-skerrow-host: shop.example.test"})).received;
    EXPECT_TRUE(relayed.endsWith(body));
    ASSERT_TRUE(waitStored(1));
    const RecordedRequest r = only();
    EXPECT_TRUE(r.incomplete);
    EXPECT_FALSE(r.requestHead.isEmpty());
    EXPECT_EQ(r.responseBody.size, app.response.size());
    EXPECT_EQ(r.responseBody.kept, 0);
    EXPECT_GT(queue->droppedBytes(), 0);
}

TEST_F(HistoryFixture, SixtyMebibyteBodyIsKeptToFiftyAndMarked) {
    constexpr qint64 bodySize = qint64(60) * 1024 * 1024;
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(bodySize) +
                      "\r\n\r\n");
        socket->write(QByteArray(bodySize, 'x'));
        socket->disconnectFromHost();
    };
    const routertest::Exchange got =
        routertest::exchange(routerPort, requestHead({"x-skerrow-host: shop.example.test"}), false,
                             std::chrono::seconds(60));
    ASSERT_TRUE(got.closed);
    ASSERT_TRUE(waitStored(1, std::chrono::seconds(60)));
    const RecordedRequest r = only();
    EXPECT_EQ(r.responseBody.size, bodySize);
    EXPECT_EQ(r.responseBody.kept, BodySink::keptLimit);
    EXPECT_TRUE(r.responseBody.truncated());
    EXPECT_FALSE(r.incomplete);
    ASSERT_FALSE(r.responseBody.file.isEmpty());
    EXPECT_EQ(QFileInfo(reader->bodyPath(r.responseBody.file)).size(), BodySink::keptLimit);
}

TEST_F(HistoryFixture, WebSocketConversationIsRecorded) {
    const WebSocketRoad road = openWebSocket(
        QStringLiteral("/live"), [](const QString& m) { return QStringLiteral("echo:") + m; },
        [](const QByteArray& m) { return m + m; });
    QWebSocket& client = *road.client;
    int got = 0;
    QObject::connect(&client, &QWebSocket::textMessageReceived, [&] { ++got; });
    QObject::connect(&client, &QWebSocket::binaryMessageReceived, [&] { ++got; });
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.sendTextMessage(QStringLiteral("hello"));
    ASSERT_TRUE(waitUntil([&] { return got == 1; }));
    const QByteArray big(70000, 'z');
    client.sendBinaryMessage(big);
    ASSERT_TRUE(waitUntil([&] { return got == 2; }));
    client.close();
    ASSERT_TRUE(waitStored(1));

    const RecordedRequest r = only();
    EXPECT_TRUE(r.upgraded);
    EXPECT_EQ(r.status, 101);
    EXPECT_EQ(r.target, QStringLiteral("/live"));
    struct Expected {
        bool fromVisitor;
        int opcode;
        QByteArray payload;
    };
    const std::vector<Expected> expected = {
        {true, 1, "hello"}, {false, 1, "echo:hello"}, {true, 2, big}, {false, 2, big + big}};
    ASSERT_GE(r.messages.size(), qsizetype(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const WebSocketMessage& m = r.messages[qsizetype(i)];
        EXPECT_EQ(m.fromVisitor, expected[i].fromVisitor);
        EXPECT_EQ(m.opcode, expected[i].opcode);
        EXPECT_EQ(m.payload, expected[i].payload);
        EXPECT_EQ(m.size, expected[i].payload.size());
    }
    // The closing handshake follows as close frames.
    EXPECT_EQ(r.messages.back().opcode, 8);
    for (qsizetype i = 1; i < r.messages.size(); ++i)
        EXPECT_LE(r.messages[i - 1].atUs, r.messages[i].atUs);
}

} // namespace
