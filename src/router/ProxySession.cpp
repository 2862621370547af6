#include "router/ProxySession.h"

#include "router/Reply.h"
#include "router/ResponseHead.h"
#include "router/RouterCore.h"

#include <QTcpSocket>

namespace {

bool hasFinished(const QTcpSocket* socket) {
    return socket->state() != QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0;
}

} // namespace

ProxySession::ProxySession(QTcpSocket* client, qint64 toPort, QByteArray firstChunk,
                           RouterCore* core)
    : QObject(core), core_(core), client_(client), app_(new QTcpSocket(this)),
      firstChunk_(std::move(firstChunk)) {
    client_->setParent(this);
    client_->setReadBufferSize(bytesPerRead);
    app_->setReadBufferSize(bytesPerRead);
    upstream_ = Direction{client_, app_, false, {}, false};
    downstream_ = Direction{app_, client_, true, {}, false};

    for (QTcpSocket* socket : {client_, app_}) {
        connect(socket, &QIODevice::readyRead, this, &ProxySession::pump);
        connect(socket, &QIODevice::bytesWritten, this, &ProxySession::pump);
        connect(socket, &QAbstractSocket::disconnected, this, &ProxySession::pump);
    }
    connect(client_, &QAbstractSocket::errorOccurred, this, &ProxySession::pump);
    connect(app_, &QAbstractSocket::errorOccurred, this, &ProxySession::onAppProblem);
    connect(app_, &QAbstractSocket::connected, this, &ProxySession::onAppConnected);

    if (toPort < 1 || toPort > 65535) {
        answerUnavailable();
        return;
    }
    app_->connectToHost(QString::fromLatin1(appHost), static_cast<quint16>(toPort));
}

void ProxySession::onAppConnected() {
    if (phase_ != Phase::connecting)
        return;
    phase_ = Phase::sendingHead;
    app_->write(firstChunk_);
    firstChunk_.clear();
    app_->flush();
    pump();
}

void ProxySession::onAppProblem() {
    if (phase_ == Phase::connecting || phase_ == Phase::sendingHead)
        answerUnavailable();
    else
        pump();
}

void ProxySession::pump() {
    if (pumping_) {
        pumpAgain_ = true;
        return;
    }
    pumping_ = true;
    do {
        pumpAgain_ = false;
        if (phase_ == Phase::sendingHead && app_->bytesToWrite() == 0 &&
            app_->state() == QAbstractSocket::ConnectedState)
            phase_ = Phase::relaying;
        if (phase_ != Phase::relaying)
            break;
        const bool moved = pumpOnce(downstream_);
        if (phase_ == Phase::relaying && (pumpOnce(upstream_) || moved))
            pumpAgain_ = true;
    } while (pumpAgain_ && phase_ == Phase::relaying);
    pumping_ = false;
}

// One step of one direction; returns whether it sent something.
bool ProxySession::pumpOnce(Direction& direction) {
    if (direction.destination->bytesToWrite() > 0)
        return false;
    if (direction.closeAfterSend) {
        cancelBoth();
        return false;
    }
    // A source that has closed with nothing left buffered is no longer open for reading.
    QByteArray chunk;
    if (direction.source->bytesAvailable() > 0)
        chunk = direction.source->read(bytesPerRead);
    const bool finished = hasFinished(direction.source);
    if (direction.rewritesHead) {
        direction.head.append(chunk);
        std::optional<QByteArray> out = ResponseHead::rewrite(direction.head, finished);
        if (!out)
            return false;
        chunk = std::move(*out);
        direction.head.clear();
        direction.rewritesHead = false;
    }
    if (chunk.isEmpty()) {
        if (finished)
            cancelBoth();
        return false;
    }
    if (direction.destination->state() != QAbstractSocket::ConnectedState) {
        cancelBoth();
        return false;
    }
    direction.closeAfterSend = finished;
    direction.destination->write(chunk);
    direction.destination->flush();
    return true;
}

void ProxySession::answerUnavailable() {
    phase_ = Phase::done;
    app_->disconnect(this);
    app_->abort();
    client_->disconnect(this);
    client_->setParent(core_);
    Reply::send(client_, 502, QStringLiteral("origin unavailable"));
    deleteLater();
}

void ProxySession::cancelBoth() {
    if (phase_ == Phase::done)
        return;
    phase_ = Phase::done;
    client_->disconnect(this);
    app_->disconnect(this);
    client_->abort();
    app_->abort();
    deleteLater();
}
