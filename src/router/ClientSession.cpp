#include "router/ClientSession.h"

#include "router/Reply.h"
#include "router/RequestHead.h"
#include "router/ResponseHead.h"
#include "router/RouterCore.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>

ClientSession::ClientSession(Descriptor client, RouterCore& core, Poller& poller)
    : core_(core), poller_(poller), capture_(core.startCapture()) {
    client_.socket = std::move(client);
    upstream_.source = &client_;
    upstream_.destination = &app_;
    downstream_.source = &app_;
    downstream_.destination = &client_;
    downstream_.rewritesHead = true;
}

void ClientSession::start() {
    if (!poller_.watch(client_.socket.get(), this)) {
        cancel();
        return;
    }
    advance();
}

void ClientSession::onEvents(int fd, quint32 events) {
    End& end = fd == client_.socket.get() ? client_ : app_;
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
        end.readable = true;
    if (events & (EPOLLRDHUP | EPOLLHUP))
        end.peerClosed = true;
    if (events & (EPOLLOUT | EPOLLHUP | EPOLLERR))
        end.writable = true;
    advance();
}

void ClientSession::advance() {
    switch (phase_) {
    case Phase::readingHead:
        readHead();
        return;
    case Phase::replying:
        sendAnswer();
        return;
    case Phase::sendingHead:
        sendHead();
        return;
    case Phase::relaying:
        relay(downstream_);
        relay(upstream_);
        return;
    case Phase::done:
        return;
    }
}

ClientSession::ReadResult ClientSession::readSome(End& end, char* into) {
    for (;;) {
        const ssize_t n = ::recv(end.socket.get(), into, static_cast<size_t>(bytesPerRead), 0);
        if (n > 0) {
            // A short read emptied the socket: the next edge tells when more arrives. Once the
            // peer has closed no edge follows, so keep reading until the end shows.
            if (n < bytesPerRead && !end.peerClosed)
                end.readable = false;
            return {Read::data, n};
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            end.readable = false;
            return {Read::wouldBlock};
        }
        if (n == 0)
            end.peerClosed = true;
        return {Read::ended};
    }
}

ClientSession::Send ClientSession::sendFrom(End& end, const char* bytes, qsizetype size,
                                            qsizetype& sent) {
    while (sent < size) {
        if (!end.writable)
            return Send::wouldBlock;
        const ssize_t n =
            ::send(end.socket.get(), bytes + sent, static_cast<size_t>(size - sent), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return waitUntilWritable(end);
            return Send::failed;
        }
        sent += n;
        if (sent < size)
            return waitUntilWritable(end);
    }
    return Send::done;
}

ClientSession::Send ClientSession::waitUntilWritable(End& end) {
    end.writable = false;
    return poller_.watchWritable(end.socket.get()) ? Send::wouldBlock : Send::failed;
}

void ClientSession::readHead() {
    while (phase_ == Phase::readingHead && client_.readable) {
        const qsizetype before = buffer_.size();
        char* const scratch = core_.readBuffer();
        const ReadResult read = readSome(client_, scratch);
        if (read.kind == Read::wouldBlock)
            return;
        // The client finished sending, or failed, before its head was complete.
        if (read.kind == Read::ended) {
            cancel();
            return;
        }
        if (!core_.holdHeadBytes(*this, read.size)) {
            core_.headDone(*this);
            answer(400, QString::fromLatin1(RequestHead::tooLargeBody));
            return;
        }
        buffer_.append(scratch, read.size);
        // Only the new bytes and the three before them can complete the terminator.
        RequestHead::Decision decision = RequestHead::decide(
            buffer_, [this](const QString& host) { return core_.port(host); },
            rescanHead_ ? 0 : std::max<qsizetype>(0, before - 3));
        if (decision.kind == RequestHead::Decision::Kind::proxy) {
            core_.admit(decision);
            // The gate waits for a form's body: the head is read again with it.
            rescanHead_ = decision.kind == RequestHead::Decision::Kind::readMore;
        }
        if (decision.kind != RequestHead::Decision::Kind::readMore) {
            core_.headDone(*this);
        }
        switch (decision.kind) {
        case RequestHead::Decision::Kind::readMore:
            break;
        case RequestHead::Decision::Kind::reply:
            if (decision.replyBytes.isEmpty())
                answer(decision.status, decision.body);
            else
                answerWith(std::move(decision.replyBytes));
            return;
        case RequestHead::Decision::Kind::proxy:
            if (decision.visitor)
                core_.recordVisitor(decision.host,
                                    {*decision.visitor, decision.path, decision.userAgent});
            if (capture_)
                capture_->headRead(decision.host, decision.visitor.value_or(QString()),
                                   decision.port, decision.probe, decision.firstChunk);
            startProxy(decision.port, decision.firstChunk);
            return;
        }
    }
}

void ClientSession::startProxy(qint64 port, QByteArray firstChunk) {
    buffer_ = std::move(firstChunk);
    sent_ = 0;
    if (port < 1 || port > 65535) {
        answer(502, QStringLiteral("origin unavailable"));
        return;
    }
    appPort_ = static_cast<quint16>(port);
    nextAddress_ = 0;
    connectApp();
}

// Tries the app host's addresses in order; a refusal of the last one means no app listens.
// The head is sent as soon as the connect is under way: on loopback the handshake is usually
// complete by then, and otherwise the send waits for it like any blocked write.
void ClientSession::connectApp() {
    const std::vector<AppAddress>& addresses = core_.appAddresses();
    while (nextAddress_ < addresses.size()) {
        const AppAddress address = addresses[nextAddress_++].withPort(appPort_);
        Descriptor socket(
            ::socket(address.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (!socket.isOpen())
            continue;
        const int result = ::connect(
            socket.get(), reinterpret_cast<const sockaddr*>(&address.address), address.size);
        if (result != 0 && errno != EINPROGRESS)
            continue;
        app_ = End{};
        app_.socket = std::move(socket);
        // The app has nothing to say before it has the request.
        app_.readable = false;
        if (!poller_.watch(app_.socket.get(), this)) {
            app_.socket.reset();
            continue;
        }
        phase_ = Phase::sendingHead;
        sendHead();
        return;
    }
    answer(502, QStringLiteral("origin unavailable"));
}

void ClientSession::sendHead() {
    switch (sendFrom(app_, buffer_, sent_)) {
    case Send::wouldBlock:
        return;
    case Send::failed:
        // Nothing reached this address: its connect failed, so the next one gets the request.
        if (sent_ == 0) {
            poller_.unwatch(app_.socket.get());
            app_.socket.reset();
            connectApp();
            return;
        }
        answer(502, QStringLiteral("origin unavailable"));
        return;
    case Send::done:
        break;
    }
    buffer_ = QByteArray();
    if (capture_)
        capture_->appConnected();
    phase_ = Phase::relaying;
    relay(downstream_);
    relay(upstream_);
}

// Moves one direction on as far as the sockets allow: finish sending the chunk in flight, then
// read the next. The response head is held back until it is complete and rewritten.
void ClientSession::relay(Flow& flow) {
    while (phase_ == Phase::relaying) {
        if (flow.inFlight) {
            const Send send = sendFrom(*flow.destination, flow.chunk, flow.sent);
            if (send == Send::wouldBlock)
                return;
            if (send == Send::failed || flow.endAfterSend) {
                cancel();
                return;
            }
            flow.inFlight = false;
            flow.chunk = QByteArray();
        }
        if (!flow.source->readable)
            return;
        char* const scratch = core_.readBuffer();
        const ReadResult read = readSome(*flow.source, scratch);
        if (read.kind == Read::wouldBlock)
            return;
        if (capture_)
            capture_->relayed(&flow == &upstream_ ? RequestCapture::Direction::toApp
                                                  : RequestCapture::Direction::toVisitor,
                              scratch, read.size);
        QByteArray rewritten;
        const char* out = scratch;
        qsizetype size = read.size;
        if (flow.rewritesHead) {
            const bool finished = read.kind == Read::ended;
            flow.head.append(scratch, read.size);
            std::optional<QByteArray> head = ResponseHead::rewrite(flow.head, finished);
            if (!head)
                continue;
            rewritten = std::move(*head);
            flow.head = QByteArray();
            flow.rewritesHead = false;
            flow.endAfterSend = finished;
            out = rewritten.constData();
            size = rewritten.size();
            // The app closed without sending anything.
            if (size == 0) {
                cancel();
                return;
            }
        } else if (read.kind == Read::ended) {
            // The source finished, or failed, with nothing more to deliver.
            cancel();
            return;
        }
        qsizetype sent = 0;
        const Send send = sendFrom(*flow.destination, out, size, sent);
        if (send == Send::failed || (send == Send::done && flow.endAfterSend)) {
            cancel();
            return;
        }
        if (send == Send::wouldBlock) {
            // The shared read buffer is needed by the next read anywhere: keep the rest here.
            flow.chunk = QByteArray(out + sent, size - sent);
            flow.sent = 0;
            flow.inFlight = true;
            return;
        }
    }
}

void ClientSession::answer(int status, const QString& body) {
    if (capture_)
        capture_->answered(status);
    answerWith(Reply::bytes(status, body));
}

void ClientSession::answerWith(QByteArray bytes) {
    if (app_.socket.isOpen()) {
        poller_.unwatch(app_.socket.get());
        app_.socket.reset();
    }
    phase_ = Phase::replying;
    buffer_ = std::move(bytes);
    sent_ = 0;
    sendAnswer();
}

// Closes the connection once the answer has gone out, or could not.
void ClientSession::sendAnswer() {
    if (sendFrom(client_, buffer_, sent_) != Send::wouldBlock)
        cancel();
}

void ClientSession::cancel() {
    if (phase_ == Phase::done)
        return;
    phase_ = Phase::done;
    if (capture_)
        capture_->ended(app_.peerClosed, client_.peerClosed);
    client_.socket.reset();
    // The app has sent all it will: a reset spares both sides the closing handshake and the app
    // a TIME-WAIT entry for every request.
    if (app_.socket.isOpen() && app_.peerClosed) {
        const linger resetOnClose{1, 0};
        setsockopt(app_.socket.get(), SOL_SOCKET, SO_LINGER, &resetOnClose, sizeof resetOnClose);
    }
    app_.socket.reset();
    core_.connectionEnded(*this);
    poller_.retire(this);
}
