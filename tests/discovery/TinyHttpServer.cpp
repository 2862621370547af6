#include "TinyHttpServer.h"

#include <QTcpSocket>

TinyHttpServer::TinyHttpServer(QObject* parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool TinyHttpServer::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void TinyHttpServer::serve(QTcpSocket* socket) {
    QByteArray head = socket->property("head").toByteArray() + socket->readAll();
    socket->setProperty("head", head);
    if (!head.contains("\r\n\r\n") || silent_)
        return;
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray path = requestLine.size() > 1 ? requestLine[1] : QByteArray("/");
    ++hits_[path];
    const Answer answer = answers_.value(path, Answer{404, "text/plain", "not found"});
    QByteArray response = "HTTP/1.1 " + QByteArray::number(answer.status) + " Answer\r\n";
    response += "Content-Type: " + answer.contentType + "\r\n";
    response += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    response += "Connection: close\r\n\r\n" + answer.body;
    socket->write(response);
    socket->disconnectFromHost();
}
