#pragma once

#include <QByteArray>
#include <QObject>

class QTcpSocket;
class RouterCore;

// Reads one accepted connection's request head, then routes it: an error answer, or the
// rewritten head handed to a ProxySession. Lives on the router's thread, as a child of the core.
class HeadReader : public QObject {
    Q_OBJECT
public:
    HeadReader(QTcpSocket* client, RouterCore* core);

    // Bytes asked of the client per read.
    static constexpr qint64 bytesPerRead = 65536;

private:
    void readHeaders();
    void finish();

    QTcpSocket* client_;
    RouterCore* core_;
    QByteArray buffer_;
    bool done_ = false;
};
