#include "router/Reply.h"

#include <QTcpSocket>

namespace Reply {
namespace {

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 502:
        return "Bad Gateway";
    default:
        return "Error";
    }
}

} // namespace

QByteArray bytes(int status, const QString& body) {
    const QByteArray payload = body.toUtf8();
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + QByteArray::number(payload.size()) +
           "\r\nConnection: close\r\n\r\n" + payload;
}

void send(QTcpSocket* socket, int status, const QString& body) {
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    // A write that fails (the client is already gone) ends the connection as well.
    QObject::connect(socket, &QAbstractSocket::errorOccurred, socket,
                     [socket](QAbstractSocket::SocketError) {
                         socket->abort();
                         socket->deleteLater();
                     });
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->write(bytes(status, body));
    socket->disconnectFromHost();
}

} // namespace Reply
