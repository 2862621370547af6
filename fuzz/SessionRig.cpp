#include "SessionRig.h"

#include "Peer.h"
#include "router/AppAddress.h"
#include "router/ClientSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int pumpPasses = 3;
// Rounds of the event loop a connection may take to end or to answer before it counts as hung.
constexpr int settleRounds = 200;
// A completed loopback handshake is reported at once; this only bounds a broken one.
constexpr int connectTimeoutMs = 1000;
constexpr int listenBacklog = 16;
constexpr int startAttempts = 5;

quint16 portOf(const Descriptor& socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &size);
    return address.ss_family == AF_INET6
               ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
               : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
}

// A socket bound to a free loopback port of the app host's preferred address.
Descriptor boundOnAppHost() {
    const AppAddress address = resolveAppHost().front().withPort(0);
    Descriptor socket(::socket(address.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK, 0));
    require(bind(socket.get(), reinterpret_cast<const sockaddr*>(&address.address), address.size) ==
                0,
            "cannot bind on the app host");
    return socket;
}

// A port no one listens on right now, for the router to take.
quint16 freeRouterPort() {
    Descriptor socket(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    require(bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0,
            "no free port for the router");
    return portOf(socket);
}

QByteArray probeHead() {
    QByteArray head = "GET / HTTP/1.1\r\nX-Skerrow-Host: unrouted.test\r\nX-Fill: ";
    const QByteArray end = "\r\n\r\n";
    head.append(SessionRig::headBudget - head.size() - end.size(), 'p');
    return head + end;
}

} // namespace

void require(bool condition, const char* broken) {
    if (condition)
        return;
    std::fprintf(stderr, "invariant broken: %s\n", broken);
    std::abort();
}

SessionRig::SessionRig() : appListener_(boundOnAppHost()), refusedPort_(boundOnAppHost()) {
    peer::shrinkBuffers(appListener_.get());
    require(listen(appListener_.get(), listenBacklog) == 0, "cannot listen for the app");
    ConnectionLimits limits;
    limits.maxConnections = maxConnections;
    limits.headBudget = headBudget;
    for (int attempt = 0; attempt < startAttempts && !(core_ && core_->isListening()); ++attempt) {
        routerPort_ = freeRouterPort();
        core_ = std::make_unique<RouterCore>(
            routerPort_, [] { return QDateTime::fromSecsSinceEpoch(0, Qt::UTC); }, limits);
        core_->setRoutes({{QString::fromLatin1(appHost), portOf(appListener_)},
                          {QString::fromLatin1(refusedHost), portOf(refusedPort_)}});
    }
    require(core_->isListening(), "the router does not listen");
    pump();
    idleSockets_ = openSockets();
    // The first input starts from a router that is known to answer.
    checkIdle();
}

void SessionRig::pump() {
    for (int pass = 0; pass < pumpPasses; ++pass)
        QCoreApplication::processEvents();
}

Descriptor SessionRig::connectVisitor(bool smallBuffers) const {
    Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (smallBuffers)
        peer::shrinkBuffers(socket.get());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(routerPort_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int result =
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    require(result == 0 || errno == EINPROGRESS, "cannot connect to the router");
    pollfd ready{socket.get(), POLLOUT, 0};
    require(poll(&ready, 1, connectTimeoutMs) == 1, "the router's backlog took no connection");
    return socket;
}

Descriptor SessionRig::acceptApp() const {
    return Descriptor(accept4(appListener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

int SessionRig::openSockets(bool list) {
    DIR* directory = opendir("/proc/self/fd");
    int count = 0;
    while (const dirent* entry = readdir(directory)) {
        std::array<char, PATH_MAX> target{};
        const QByteArray path = QByteArray("/proc/self/fd/") + entry->d_name;
        if (readlink(path.constData(), target.data(), target.size() - 1) < 0 ||
            !QByteArrayView(target.data()).startsWith("socket:"))
            continue;
        ++count;
        if (list)
            std::fprintf(stderr, "open: %s -> %s\n", entry->d_name, target.data());
    }
    closedir(directory);
    return count;
}

void SessionRig::checkIdle() const {
    for (int round = 0; round < settleRounds && openSockets() != idleSockets_; ++round)
        pump();
    if (openSockets() != idleSockets_) {
        std::fprintf(stderr, "%d sockets open, %d when idle\n", openSockets(true), idleSockets_);
        require(false, "a socket outlived its connection");
    }

    // A head as large as the whole budget is read only if no ended connection still holds a
    // part of it, and answered only if no ended connection still counts against the bound.
    Descriptor probe = connectVisitor(false);
    peer::send(probe, probeHead());
    QByteArray answer;
    bool ended = false;
    for (int round = 0; round < settleRounds && !ended; ++round) {
        pump();
        ended = peer::read(probe, ClientSession::bytesPerRead, &answer) == peer::Read::ended;
    }
    require(ended, "the router never answered a visitor on an idle router");
    require(!answer.startsWith("HTTP/1.1 400"), "an ended connection kept part of the head budget");
    require(answer.startsWith("HTTP/1.1 404"),
            "an idle router gave the wrong answer to a complete head");
}
