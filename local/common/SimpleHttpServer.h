#pragma once

#include "common/HttpMessage.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

struct HttpRequest {
    HttpRequestHead head;
    QByteArray body;
    QHostAddress peer;
    // The target without its query.
    QByteArray path() const;
};

// Answers one request. It may be kept and used later (a delayed answer) or dropped without use
// (no answer at all: the connection stays open until the client gives up).
class HttpResponder {
public:
    explicit HttpResponder(QTcpSocket* socket) : socket_(socket) {}
    void respond(const QByteArray& wireBytes) const;
    void respond(int status, const QByteArray& body, const QList<HttpHeader>& headers = {},
                 const QByteArray& contentType = "application/json") const;

private:
    QPointer<QTcpSocket> socket_;
};

// A small HTTP/1.1 server: one request per connection, every answer closes the connection.
class SimpleHttpServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const HttpRequest&, const HttpResponder&)>;

    SimpleHttpServer(Handler handler, QObject* parent = nullptr);
    bool listen(const QHostAddress& address, quint16 port);
    quint16 serverPort() const { return server_.serverPort(); }
    QString errorString() const { return server_.errorString(); }
    // Reads and answers one request on a connection accepted elsewhere (a TLS listener).
    void serve(QTcpSocket* socket);

private:
    void accept();

    QTcpServer server_;
    Handler handler_;
};
