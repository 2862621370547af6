#include "router/Listener.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>

std::unique_ptr<Listener> Listener::open(quint16 port, int backlog, Pending pending,
                                         Failed failed) {
    constexpr int type = SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC;
    const int on = 1;
    const int off = 0;
    // One dual-stack socket, so the tunnel client may reach us over either loopback; IPv4 alone
    // where the machine has no IPv6.
    Descriptor socket(::socket(AF_INET6, type, 0));
    sockaddr_storage address{};
    socklen_t addressSize = 0;
    if (socket.isOpen()) {
        setsockopt(socket.get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(port);
        v6->sin6_addr = in6addr_any;
        addressSize = sizeof(sockaddr_in6);
    } else {
        socket.reset(::socket(AF_INET, type, 0));
        if (!socket.isOpen()) {
            return nullptr;
        }
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(port);
        v4->sin_addr.s_addr = htonl(INADDR_ANY);
        addressSize = sizeof(sockaddr_in);
    }
    setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), addressSize) != 0 ||
        listen(socket.get(), backlog) != 0) {
        return nullptr;
    }
    return std::unique_ptr<Listener>(
        new Listener(std::move(socket), std::move(pending), std::move(failed)));
}

Listener::Listener(Descriptor socket, Pending pending, Failed failed)
    : socket_(std::move(socket)), pending_(std::move(pending)), failed_(std::move(failed)) {}

Listener::Accept Listener::accept(Descriptor& connection) {
    for (;;) {
        const int fd = accept4(socket_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            connection.reset(fd);
            return Accept::connection;
        }
        switch (errno) {
        case EAGAIN:
            return Accept::drained;
        // A connection that went away while queued is no fault of the listener.
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
            continue;
        // Out of descriptors or memory: the connection stays queued and the listener stays up.
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return Accept::shortage;
        default:
            return Accept::failed;
        }
    }
}

// Edge-triggered: the owner takes what it has room for now; the next event comes only with a
// new connection.
void Listener::onEvents(int, quint32 events) {
    if (events & (EPOLLERR | EPOLLHUP)) {
        failed_(this);
    } else {
        pending_();
    }
}
