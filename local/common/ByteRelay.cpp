#include "common/ByteRelay.h"

namespace {

// Most bytes queued for writing on one side before reading from the other pauses.
constexpr qint64 backlogLimit = 1024 * 1024;
constexpr qint64 chunkSize = 64 * 1024;

} // namespace

ByteRelay::ByteRelay(QTcpSocket* a, QTcpSocket* b, const QByteArray& firstToB, QObject* parent)
    : QObject(parent), a_(a), b_(b) {
    for (QTcpSocket* s : {a_, b_}) {
        // The relay owns the socket from here on; an earlier self-deleting hook would free it
        // under the relay's feet.
        disconnect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        s->setParent(this);
        s->setReadBufferSize(backlogLimit);
    }
    if (!firstToB.isEmpty())
        b_->write(firstToB);
    const auto wire = [this](QTcpSocket* from, QTcpSocket* to) {
        connect(from, &QTcpSocket::readyRead, this, [=, this] { pump(from, to, false); });
        connect(to, &QTcpSocket::bytesWritten, this, [=, this] { pump(from, to, false); });
        connect(from, &QTcpSocket::readChannelFinished, this, [=, this] { pump(from, to, true); });
        connect(from, &QTcpSocket::disconnected, this, [=, this] { sideFinished(from, to); });
    };
    wire(a_, b_);
    wire(b_, a_);
    pump(a_, b_, false);
    pump(b_, a_, false);
    if (a_->state() != QAbstractSocket::ConnectedState)
        sideFinished(a_, b_);
    if (b_->state() != QAbstractSocket::ConnectedState)
        sideFinished(b_, a_);
}

void ByteRelay::pump(QTcpSocket* from, QTcpSocket* to, bool drainAll) {
    while (from->bytesAvailable() > 0 && (drainAll || to->bytesToWrite() < backlogLimit)) {
        const QByteArray chunk = from->read(chunkSize);
        if (to->state() == QAbstractSocket::ConnectedState)
            to->write(chunk);
    }
}

void ByteRelay::sideFinished(QTcpSocket* from, QTcpSocket* to) {
    pump(from, to, true);
    if (to->state() != QAbstractSocket::UnconnectedState)
        to->disconnectFromHost();
    deleteWhenDone();
}

void ByteRelay::deleteWhenDone() {
    if (a_->state() == QAbstractSocket::UnconnectedState &&
        b_->state() == QAbstractSocket::UnconnectedState)
        deleteLater();
}
