#pragma once

#include "router/Descriptor.h"
#include "router/Poller.h"

#include <functional>
#include <memory>

// The router's listening socket: every local address, IPv4 and IPv6, on one port. Accepts
// connections as they arrive and hands their descriptors on, non-blocking and close-on-exec.
class Listener : public PollClient {
public:
    using Accepted = std::function<void(Descriptor connection)>;
    using Failed = std::function<void(Listener* listener)>;

    // Bound and listening, or null when the port cannot be taken.
    static std::unique_ptr<Listener> open(quint16 port, int backlog, Accepted accepted,
                                          Failed failed);

    int fd() const { return socket_.get(); }
    void onEvents(int fd, quint32 events) override;

private:
    Listener(Descriptor socket, Accepted accepted, Failed failed);

    Descriptor socket_;
    Accepted accepted_;
    Failed failed_;
};
