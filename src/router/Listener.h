#pragma once

#include "router/Descriptor.h"
#include "router/Poller.h"

#include <functional>
#include <memory>

// The router's listening socket: every local address, IPv4 and IPv6, on one port. Tells its
// owner when connections may be waiting, and hands them out one by one, non-blocking and
// close-on-exec, for as long as the owner has room for them; the others wait in the backlog.
class Listener : public PollClient {
public:
    // Connections may be waiting to be accepted.
    using Pending = std::function<void()>;
    using Failed = std::function<void(Listener* listener)>;

    enum class Accept {
        connection, // `connection` holds a new connection
        drained,    // nothing waits; the next event tells when something does
        shortage,   // the process or system is out of descriptors or memory; retry later
        failed,     // the socket is broken
    };

    // Bound and listening, or null when the port cannot be taken.
    static std::unique_ptr<Listener> open(quint16 port, int backlog, Pending pending,
                                          Failed failed);

    int fd() const { return socket_.get(); }
    Accept accept(Descriptor& connection);
    void onEvents(int fd, quint32 events) override;

private:
    Listener(Descriptor socket, Pending pending, Failed failed);

    Descriptor socket_;
    Pending pending_;
    Failed failed_;
};
