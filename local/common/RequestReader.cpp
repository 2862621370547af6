#include "common/RequestReader.h"

RequestReader::RequestReader(QTcpSocket* socket, bool readBody)
    : QObject(socket), socket_(socket), readBody_(readBody) {
    idle_.setSingleShot(true);
    idle_.setInterval(idleTimeoutMs);
    connect(&idle_, &QTimer::timeout, this, [this] {
        done_ = true;
        socket_->disconnect(this);
        Q_EMIT failed(buffer_.isEmpty() ? 0 : 408);
    });
    connect(socket_, &QTcpSocket::readyRead, this, &RequestReader::onReadable);
    connect(socket_, &QTcpSocket::disconnected, this, [this] {
        if (!done_) {
            done_ = true;
            Q_EMIT failed(0);
        }
    });
    idle_.start();
    QMetaObject::invokeMethod(this, &RequestReader::onReadable, Qt::QueuedConnection);
}

void RequestReader::onReadable() {
    if (done_)
        return;
    idle_.start();
    const qsizetype limit = head_ ? bodyStart_ + bodyLength_ : maxHeadBytes + 1;
    buffer_ += socket_->read(limit - buffer_.size());
    if (!head_) {
        const qsizetype end = headEnd(buffer_);
        if (end < 0) {
            if (buffer_.size() > maxHeadBytes) {
                done_ = true;
                Q_EMIT failed(431);
            }
            return;
        }
        head_ = HttpRequestHead::parse(buffer_.left(end - 4));
        if (!head_) {
            done_ = true;
            Q_EMIT failed(400);
            return;
        }
        bodyStart_ = end;
        if (!readBody_) {
            buffer_ += socket_->readAll();
            finish();
            return;
        }
        if (head_->header("transfer-encoding")) {
            done_ = true;
            Q_EMIT failed(400);
            return;
        }
        bool ok = true;
        const QByteArray length = head_->header("content-length").value_or("0");
        bodyLength_ = length.toLongLong(&ok);
        if (!ok || bodyLength_ < 0) {
            done_ = true;
            Q_EMIT failed(400);
            return;
        }
        if (bodyLength_ > maxBodyBytes) {
            done_ = true;
            Q_EMIT failed(413);
            return;
        }
        buffer_ += socket_->read(bodyStart_ + bodyLength_ - buffer_.size());
    }
    if (buffer_.size() >= bodyStart_ + bodyLength_)
        finish();
}

void RequestReader::finish() {
    done_ = true;
    idle_.stop();
    socket_->disconnect(this);
    Q_EMIT complete(*head_, buffer_.mid(bodyStart_));
}
