#pragma once

#include <QtGlobal>
#include <sys/socket.h>
#include <vector>

// One address of the app host, with the port still to be filled in per request.
struct AppAddress {
    sockaddr_storage address{};
    socklen_t size = 0;

    AppAddress withPort(quint16 port) const;
};

// The addresses "localhost" resolves to, in the platform's order of preference; IPv4 loopback
// when the name cannot be resolved. Resolved once per router, not per request.
std::vector<AppAddress> resolveAppHost();
