#include "common/SimpleHttpServer.h"

#include "common/RequestReader.h"

QByteArray HttpRequest::path() const {
    const qsizetype query = head.target.indexOf('?');
    return query < 0 ? head.target : head.target.left(query);
}

void HttpResponder::respond(const QByteArray& wireBytes) const {
    QTcpSocket* const socket = socket_.data();
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->write(wireBytes);
    socket->disconnectFromHost();
}

void HttpResponder::respond(int status, const QByteArray& body, const QList<HttpHeader>& headers,
                            const QByteArray& contentType) const {
    respond(httpResponse(status, body, headers, contentType));
}

SimpleHttpServer::SimpleHttpServer(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    connect(&server_, &QTcpServer::newConnection, this, &SimpleHttpServer::accept);
}

bool SimpleHttpServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void SimpleHttpServer::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection())
        serve(socket);
}

void SimpleHttpServer::serve(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    auto* reader = new RequestReader(socket, true);
    connect(reader, &RequestReader::complete, this,
            [this, socket](const HttpRequestHead& head, const QByteArray& body) {
                handler_(HttpRequest{head, body, socket->peerAddress()}, HttpResponder(socket));
            });
    connect(reader, &RequestReader::failed, socket, [socket](int status) {
        if (status == 0)
            socket->abort();
        else
            HttpResponder(socket).respond(status, reasonPhrase(status), {}, "text/plain");
    });
}
