#pragma once

#include "common/HttpMessage.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

// Reads one HTTP request head from a socket, and with `readBody` also a body framed by
// Content-Length. Reports exactly once: `complete` with the head and the bytes after it (the
// body, or whatever followed the head), or `failed` with the status to answer (0: just close).
// A peer that sends too much or nothing within the idle time gets a bounded answer, never a hang.
class RequestReader : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype maxHeadBytes = 64 * 1024;
    static constexpr qsizetype maxBodyBytes = 1024 * 1024;
    static constexpr int idleTimeoutMs = 30000;

    RequestReader(QTcpSocket* socket, bool readBody);

Q_SIGNALS:
    void complete(const HttpRequestHead& head, const QByteArray& rest);
    void failed(int status);

private:
    void onReadable();
    void finish();

    QTcpSocket* socket_;
    bool readBody_;
    QByteArray buffer_;
    std::optional<HttpRequestHead> head_;
    qsizetype bodyStart_ = 0;
    qsizetype bodyLength_ = 0;
    QTimer idle_;
    bool done_ = false;
};
