#include "router/HeadReader.h"

#include "router/ProxySession.h"
#include "router/Reply.h"
#include "router/RequestHead.h"
#include "router/RouterCore.h"

#include <QTcpSocket>

HeadReader::HeadReader(QTcpSocket* client, RouterCore* core)
    : QObject(core), client_(client), core_(core) {
    client_->setParent(this);
    client_->setReadBufferSize(bytesPerRead);
    connect(client_, &QIODevice::readyRead, this, &HeadReader::readHeaders);
    // The client finished sending or failed before its head was complete: nothing to route.
    connect(client_, &QAbstractSocket::disconnected, this, &HeadReader::readHeaders);
    connect(client_, &QAbstractSocket::errorOccurred, this, &HeadReader::readHeaders);
    readHeaders();
}

void HeadReader::readHeaders() {
    if (done_)
        return;
    while (client_->bytesAvailable() > 0) {
        const qsizetype searched = std::max<qsizetype>(0, buffer_.size() - 3);
        buffer_.append(client_->read(bytesPerRead));
        const RequestHead::Decision decision = RequestHead::decide(
            buffer_, [this](const QString& host) { return core_->port(host); }, searched);
        switch (decision.kind) {
        case RequestHead::Decision::Kind::readMore:
            continue;
        case RequestHead::Decision::Kind::reply:
            finish();
            client_->setParent(core_);
            Reply::send(client_, decision.status, decision.body);
            return;
        case RequestHead::Decision::Kind::proxy:
            finish();
            if (decision.visitor)
                core_->recordVisitor(decision.host, *decision.visitor);
            new ProxySession(client_, decision.port, decision.firstChunk, core_);
            return;
        }
    }
    if (client_->state() != QAbstractSocket::ConnectedState) {
        finish();
        client_->abort();
    }
}

void HeadReader::finish() {
    done_ = true;
    client_->disconnect(this);
    deleteLater();
}
