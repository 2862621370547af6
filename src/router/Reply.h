#pragma once

#include <QByteArray>
#include <QString>

class QTcpSocket;

// The router's own plain-text answers, for requests it cannot forward.
namespace Reply {

// The exact bytes of the answer: status line, three headers, a blank line and the body.
QByteArray bytes(int status, const QString& body);

// Sends the answer, then closes the connection once it has gone out. The socket deletes itself
// when it is closed.
void send(QTcpSocket* socket, int status, const QString& body);

} // namespace Reply
