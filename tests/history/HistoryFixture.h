#pragma once

#include "history/CaptureWriter.h"
#include "history/HistoryReader.h"
#include "router/CaptureQueue.h"
#include "router/RouterFixture.h"
#include "support/Wait.h"

#include <QTemporaryDir>
#include <QWebSocket>
#include <QWebSocketServer>
#include <functional>
#include <memory>

// The router of RouterFixture with capture on, writing a history into a temporary folder.
class HistoryFixture : public RouterFixture {
protected:
    void SetUp() override {
        RouterFixture::SetUp();
        historyDir = dir.filePath(QStringLiteral("state/skerrow"));
        startCapture();
    }

    void TearDown() override {
        router->setCapture(nullptr);
        reader.reset();
        writer.reset();
    }

    void startCapture(qint64 capBytes = HistoryStore::defaultCapBytes,
                      qsizetype queueBytes = qsizetype(256) * 1024 * 1024,
                      qsizetype queueEvents = CaptureQueue::defaultEventLimit) {
        queue = std::make_shared<CaptureQueue>(queueBytes, queueEvents);
        writer = std::make_unique<CaptureWriter>(queue, historyDir, capBytes);
        ASSERT_TRUE(writer->isOpen());
        router->setCapture(queue);
        reader = std::make_unique<HistoryReader>(historyDir);
        ASSERT_TRUE(reader->open());
    }

    // Waits until `count` entries have been stored since the writer started.
    bool waitStored(qint64 count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return waitUntil([&] { return writer->stored() >= count; }, timeout);
    }

    // A WebSocket app behind the router whose answer to each message comes from `answerText`
    // and `answerBinary`, and a client connected to `path` through the router.
    struct WebSocketRoad {
        std::unique_ptr<QWebSocketServer> app;
        std::unique_ptr<QWebSocket> client;
    };
    WebSocketRoad openWebSocket(const QString& path,
                                std::function<QString(const QString&)> answerText,
                                std::function<QByteArray(const QByteArray&)> answerBinary = {}) {
        WebSocketRoad road{std::make_unique<QWebSocketServer>(QStringLiteral("app"),
                                                              QWebSocketServer::NonSecureMode),
                           std::make_unique<QWebSocket>()};
        QWebSocketServer* const server = road.app.get();
        EXPECT_TRUE(server->listen(QHostAddress::LocalHost, 0));
        // A WebSocket client sends the address it dialled as Host: the link is named after it.
        const QString wsHost = QStringLiteral("127.0.0.1:%1").arg(routerPort);
        router->setRoutes({RouteRule{wsHost, server->serverPort()}});
        QObject::connect(server, &QWebSocketServer::newConnection, server, [=] {
            QWebSocket* peer = server->nextPendingConnection();
            peer->setParent(server);
            QObject::connect(peer, &QWebSocket::textMessageReceived, peer,
                             [=](const QString& m) { peer->sendTextMessage(answerText(m)); });
            if (answerBinary)
                QObject::connect(
                    peer, &QWebSocket::binaryMessageReceived, peer,
                    [=](const QByteArray& m) { peer->sendBinaryMessage(answerBinary(m)); });
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1%2").arg(wsHost, path)));
        request.setRawHeader("x-skerrow-host", wsHost.toUtf8());
        road.client->open(request);
        return road;
    }

    RecordedRequest only() {
        const QList<qint64> ids = reader->ids();
        EXPECT_EQ(ids.size(), 1);
        return reader->entry(ids.value(0)).value_or(RecordedRequest{});
    }

    QTemporaryDir dir;
    QString historyDir;
    std::shared_ptr<CaptureQueue> queue;
    std::unique_ptr<CaptureWriter> writer;
    std::unique_ptr<HistoryReader> reader;
};
