#include "Peer.h"

#include <QByteArray>
#include <array>
#include <cerrno>
#include <sys/socket.h>

namespace peer {

void shrinkBuffers(int fd) {
    // The kernel raises this to its minimum.
    const int size = 1;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void send(const Descriptor& socket, QByteArrayView bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(socket.get(), bytes.data() + sent,
                                 static_cast<size_t>(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += n;
    }
}

void flood(const Descriptor& socket, qsizetype limit) {
    static const QByteArray filler(16384, 'f');
    for (qsizetype sent = 0; sent < limit;) {
        const ssize_t n =
            ::send(socket.get(), filler.constData(),
                   static_cast<size_t>(std::min(filler.size(), limit - sent)), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        sent += n;
    }
}

Read read(const Descriptor& socket, qsizetype limit, QByteArray* into) {
    std::array<char, 65536> scratch{};
    for (qsizetype got = 0; got < limit;) {
        const auto want = static_cast<size_t>(std::min<qsizetype>(scratch.size(), limit - got));
        const ssize_t n = ::recv(socket.get(), scratch.data(), want, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return Read::open;
        if (n <= 0)
            return Read::ended;
        if (into)
            into->append(scratch.data(), n);
        got += n;
    }
    return Read::open;
}

void shutdownSending(const Descriptor& socket) {
    ::shutdown(socket.get(), SHUT_WR);
}

void reset(Descriptor& socket) {
    const linger abort{1, 0};
    setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    socket.reset();
}

} // namespace peer
