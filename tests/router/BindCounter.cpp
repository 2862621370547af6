#include "BindCounter.h"

#include <atomic>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

std::atomic<int> watchedPort{-1};
std::atomic<int> binds{0};

int portOf(const sockaddr* address, socklen_t size) {
    if (address->sa_family == AF_INET && size >= sizeof(sockaddr_in)) {
        return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
    }
    if (address->sa_family == AF_INET6 && size >= sizeof(sockaddr_in6)) {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
    }
    return -1;
}

} // namespace

// Takes the place of the C library's bind for the whole test executable and passes every call on.
extern "C" int bind(int fd, const sockaddr* address, socklen_t size) noexcept {
    using Bind = int (*)(int, const sockaddr*, socklen_t);
    static const auto next = reinterpret_cast<Bind>(dlsym(RTLD_NEXT, "bind"));
    if (address && portOf(address, size) == watchedPort.load()) {
        ++binds;
    }
    return next(fd, address, size);
}

BindCounter::BindCounter(quint16 port) {
    binds = 0;
    watchedPort = port;
}

BindCounter::~BindCounter() {
    watchedPort = -1;
}

int BindCounter::count() const {
    return binds.load();
}
