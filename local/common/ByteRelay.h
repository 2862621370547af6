#pragma once

#include <QObject>
#include <QTcpSocket>

// Passes bytes both ways between two connected sockets until both have closed, then deletes
// itself and them. Reading from one side pauses while the other side has a backlog, so a slow
// reader holds back a fast writer instead of growing memory without bound.
class ByteRelay : public QObject {
    Q_OBJECT
public:
    // Takes ownership of both sockets; `firstToB` is written to `b` before any relayed byte.
    ByteRelay(QTcpSocket* a, QTcpSocket* b, const QByteArray& firstToB = {},
              QObject* parent = nullptr);

private:
    void pump(QTcpSocket* from, QTcpSocket* to, bool drainAll);
    void sideFinished(QTcpSocket* from, QTcpSocket* to);
    void deleteWhenDone();

    QTcpSocket* a_;
    QTcpSocket* b_;
};
