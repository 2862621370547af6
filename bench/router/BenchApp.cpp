// The local app the router benchmark sends its traffic to: a single-threaded epoll server that
// answers every request with a fixed response and closes the connection. "GET /large" gets a
// 1 MiB body, anything else a small one. Kept lean so the app itself is not what is measured.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr size_t largeBody = 1024 * 1024;
constexpr int maxEvents = 256;

struct Connection {
    std::string request;
    const std::string* response = nullptr;
    size_t sent = 0;
};

std::string makeResponse(size_t bodySize) {
    std::string response = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                           std::to_string(bodySize) + "\r\nConnection: close\r\n\r\n";
    response.append(bodySize, 'x');
    return response;
}

void closeConnection(int epoll, int fd, std::unordered_map<int, Connection>& connections) {
    epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    connections.erase(fd);
}

// Writes what the socket takes; true when the whole response has gone out.
bool writeSome(int fd, Connection& connection) {
    while (connection.sent < connection.response->size()) {
        const ssize_t n = send(fd, connection.response->data() + connection.sent,
                               connection.response->size() - connection.sent, MSG_NOSIGNAL);
        if (n < 0)
            return errno != EAGAIN;
        connection.sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <port>\n", argv[0]);
        return 2;
    }
    const std::string small = makeResponse(13);
    const std::string large = makeResponse(largeBody);

    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4096) != 0) {
        std::perror("listen");
        return 1;
    }
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);

    std::unordered_map<int, Connection> connections;
    epoll_event events[maxEvents];
    char buffer[65536];
    for (;;) {
        const int ready = epoll_wait(epoll, events, maxEvents, -1);
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener) {
                for (int client; (client = accept4(listener, nullptr, nullptr,
                                                   SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    epoll_event clientEvent{};
                    clientEvent.events = EPOLLIN;
                    clientEvent.data.fd = client;
                    epoll_ctl(epoll, EPOLL_CTL_ADD, client, &clientEvent);
                    connections[client];
                }
                continue;
            }
            Connection& connection = connections[fd];
            if (!connection.response) {
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    if (n == 0 || errno != EAGAIN)
                        closeConnection(epoll, fd, connections);
                    continue;
                }
                connection.request.append(buffer, static_cast<size_t>(n));
                if (connection.request.find("\r\n\r\n") == std::string::npos)
                    continue;
                connection.response =
                    connection.request.compare(0, 10, "GET /large") == 0 ? &large : &small;
            }
            if (writeSome(fd, connection)) {
                closeConnection(epoll, fd, connections);
            } else {
                epoll_event out{};
                out.events = EPOLLOUT;
                out.data.fd = fd;
                epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &out);
            }
        }
    }
}
