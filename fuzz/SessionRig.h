#pragma once

#include "router/Descriptor.h"
#include "router/RouterCore.h"

#include <QByteArray>
#include <memory>

// A router listening on loopback with one routed app, for a fuzz target that plays both the
// visitors and the app by hand. Lives for the whole fuzzing run; the target brings it back to
// its idle state after every input, so each input starts from the same place.
class SessionRig {
public:
    // Routed to the app listener of the rig.
    static constexpr const char* appHost = "app.test";
    // Routed to a port that is bound but not listening, so every connection to it is refused.
    static constexpr const char* refusedHost = "refused.test";
    // Small, so that a few large heads exhaust it and a leak of it shows at once.
    static constexpr qsizetype headBudget = 4096;
    // Small, so that a third visitor waits in the backlog until another connection ends.
    static constexpr int maxConnections = 2;

    SessionRig();

    // Lets the router handle whatever its sockets have reported. Loopback delivers at once, so
    // a few passes of the event loop leave nothing to do.
    static void pump();
    // A visitor connection to the router, non-blocking.
    Descriptor connectVisitor(bool smallBuffers) const;
    // The next connection the router made to the app, if one waits.
    Descriptor acceptApp() const;
    // Open sockets of the process, each listed on stderr if `list`. Only sockets: the
    // sanitizers' symbolizer comes with pipes of its own.
    static int openSockets(bool list = false);
    // The rig's own: its listeners and the router's.
    int idleSockets() const { return idleSockets_; }
    // Once every peer has gone, the router must be as it was before the input: its open
    // sockets back to the idle count, the head budget and the connection bound whole. Aborts
    // with a message otherwise.
    void checkIdle() const;

private:
    Descriptor appListener_;
    Descriptor refusedPort_;
    quint16 routerPort_ = 0;
    std::unique_ptr<RouterCore> core_;
    int idleSockets_ = 0;
};

// Aborts the run, so libFuzzer saves the input, when an invariant does not hold.
void require(bool condition, const char* broken);
