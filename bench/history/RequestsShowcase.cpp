// The "Requests" window over real traffic, for looking at it and for its screenshots: a JSON
// API, a page with images and a WebSocket echo, each on its own port behind a LinkRouter with
// capture on; a few hundred requests go through the router, then the window opens with the
// newest entry whose path starts with the given prefix selected, and a picture of it is saved.
//
// usage: skerrow_requests_showcase <history folder> <path prefix> <picture.png> [detail tab]
#include "history/RequestHistory.h"
#include "history/window/RequestsWindow.h"
#include "router/LinkRouter.h"

#include <QApplication>
#include <QBuffer>
#include <QHttpServer>
#include <QHttpServerResponse>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int apiRequests = 240;
constexpr int imageCount = 12;
constexpr int socketMessages = 12;

QByteArray tile(int n) {
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((n * 37) % 360, 160, 230));
    QPainter painter(&image);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("tile %1").arg(n));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

quint16 listenHttp(QHttpServer& server) {
    server.route(u"/api/items"_s, [] {
        QJsonArray items;
        for (int i = 0; i < 5; ++i)
            items.append(QJsonObject{{u"id"_s, i}, {u"name"_s, QStringLiteral("item %1").arg(i)}});
        return QJsonObject{{u"items"_s, items}, {u"total"_s, 5}};
    });
    server.route(u"/api/orders"_s, QHttpServerRequest::Method::Post,
                 [](const QHttpServerRequest& request) {
                     return QHttpServerResponse(
                         QJsonObject{{u"received"_s, QString::fromUtf8(request.body())},
                                     {u"status"_s, u"accepted"_s}},
                         QHttpServerResponder::StatusCode::Created);
                 });
    server.route(u"/"_s, [] {
        QByteArray page = "<!doctype html><title>Gallery</title><h1>Gallery</h1>";
        for (int i = 0; i < imageCount; ++i)
            page += "<img src=\"/img/" + QByteArray::number(i) + ".png\">";
        return QHttpServerResponse("text/html", page);
    });
    server.route(u"/img/<arg>.png"_s,
                 [](int n) { return QHttpServerResponse("image/png", tile(n)); });
    return server.listen(QHostAddress::LocalHost, 0);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <history> <path prefix> <picture.png> [tab]\n", argv[0]);
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const QString picture = QString::fromLocal8Bit(argv[3]);
    const int tab = argc > 4 ? QByteArray(argv[4]).toInt() : 0;

    QHttpServer http;
    const quint16 httpPort = listenHttp(http);
    QWebSocketServer sockets(u"echo"_s, QWebSocketServer::NonSecureMode);
    sockets.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&sockets, &QWebSocketServer::newConnection, [&] {
        QWebSocket* peer = sockets.nextPendingConnection();
        QObject::connect(peer, &QWebSocket::textMessageReceived, peer, [peer](const QString& m) {
            peer->sendTextMessage(
                QStringLiteral(R"({"echo":%1,"at":"%2"})").arg(m, QTime::currentTime().toString()));
        });
    });

    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 routerPort = probe.serverPort();
    probe.close();
    LinkRouter router(routerPort, systemClock());
    RequestHistory history(QString::fromLocal8Bit(argv[1]));
    router.setCapture(history.queue());
    router.setRoutes({{u"api-7f3k.skerrow.dev"_s, httpPort},
                      {u"gallery-q2m9.skerrow.dev"_s, httpPort},
                      {u"chat-x81d.skerrow.dev"_s, sockets.serverPort()}});

    QNetworkAccessManager network;
    int pending = 0;
    const auto request = [&](const QString& host, const QString& path, const QByteArray& body,
                             int visitor) {
        QNetworkRequest r(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(routerPort).arg(path)));
        r.setRawHeader("x-skerrow-host", host.toUtf8());
        r.setRawHeader("cf-connecting-ip", "203.0.113." + QByteArray::number(visitor));
        r.setRawHeader("Authorization", "Bearer demo-token");
        ++pending;
        if (!body.isEmpty())
            r.setHeader(QNetworkRequest::ContentTypeHeader, u"application/json"_s);
        QNetworkReply* reply = body.isEmpty() ? network.get(r) : network.post(r, body);
        QObject::connect(reply, &QNetworkReply::finished, [&pending, reply] {
            --pending;
            reply->deleteLater();
        });
    };
    for (int i = 0; i < apiRequests; ++i) {
        if (i % 3 == 0)
            request(u"api-7f3k.skerrow.dev"_s, u"/api/orders"_s,
                    QStringLiteral(R"({"order":%1,"sku":"A-%2","qty":%3})")
                        .arg(i)
                        .arg(i * 7 % 100)
                        .arg(i % 4 + 1)
                        .toUtf8(),
                    i % 9);
        else
            request(u"api-7f3k.skerrow.dev"_s, QStringLiteral("/api/items?page=%1").arg(i % 6), {},
                    i % 9);
    }
    for (int round = 0; round < 3; ++round) {
        request(u"gallery-q2m9.skerrow.dev"_s, u"/"_s, {}, 20 + round);
        for (int i = 0; i < imageCount; ++i)
            request(u"gallery-q2m9.skerrow.dev"_s, QStringLiteral("/img/%1.png").arg(i), {},
                    20 + round);
    }
    QWebSocket chat;
    int echoed = 0;
    QObject::connect(&chat, &QWebSocket::textMessageReceived, [&] {
        if (++echoed < socketMessages)
            chat.sendTextMessage(QStringLiteral(R"({"n":%1,"text":"hello %1"})").arg(echoed));
        else
            chat.close();
    });
    QObject::connect(&chat, &QWebSocket::connected,
                     [&] { chat.sendTextMessage(QStringLiteral(R"({"n":0,"text":"hi"})")); });
    QNetworkRequest chatRequest(QUrl(QStringLiteral("ws://127.0.0.1:%1/chat").arg(routerPort)));
    chatRequest.setRawHeader("x-skerrow-host", "chat-x81d.skerrow.dev");
    chatRequest.setRawHeader("cf-connecting-ip", "198.51.100.23");
    chat.open(chatRequest);

    RequestsWindow window(history);
    window.resize(1400, 900);
    window.show();
    QTimer settle;
    settle.setInterval(200);
    int waited = 0;
    QObject::connect(&settle, &QTimer::timeout, [&] {
        constexpr int enoughTicks = 10;
        if ((pending > 0 || chat.state() != QAbstractSocket::UnconnectedState) && ++waited < 150)
            return;
        if (++waited < enoughTicks)
            return;
        settle.stop();
        auto* table = window.findChild<QTableView*>();
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            if (table->model()->index(row, 3).data().toString().startsWith(prefix)) {
                table->selectRow(row);
                break;
            }
        }
        if (auto* tabs = window.findChild<QTabWidget*>())
            tabs->setCurrentIndex(tab);
        QTimer::singleShot(500, [&] {
            window.grab().save(picture);
            QApplication::quit();
        });
    });
    settle.start();
    return QApplication::exec();
}
