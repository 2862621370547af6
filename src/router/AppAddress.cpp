#include "router/AppAddress.h"

#include <cstring>
#include <netdb.h>
#include <netinet/in.h>

namespace {

constexpr auto appHost = "localhost";

} // namespace

AppAddress AppAddress::withPort(quint16 port) const {
    AppAddress copy = *this;
    if (copy.address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&copy.address)->sin6_port = htons(port);
    else
        reinterpret_cast<sockaddr_in*>(&copy.address)->sin_port = htons(port);
    return copy;
}

std::vector<AppAddress> resolveAppHost() {
    std::vector<AppAddress> result;
    // Zeroed hints ask for every address family.
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(appHost, nullptr, &hints, &found) == 0) {
        for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
            if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
                continue;
            AppAddress address;
            std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
            address.size = entry->ai_addrlen;
            result.push_back(address);
        }
        freeaddrinfo(found);
    }
    if (result.empty()) {
        AppAddress loopback;
        auto* v4 = reinterpret_cast<sockaddr_in*>(&loopback.address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        loopback.size = sizeof(sockaddr_in);
        result.push_back(loopback);
    }
    return result;
}
