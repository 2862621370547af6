#pragma once

#include <QtGlobal>
#include <chrono>

// How many connections the router serves at once, and how long a connection may take to send
// its request head. Without these, anyone who knows a public address could hold every
// descriptor of the process with connections that never finish their head, and no link would
// be reachable until they went away.
struct ConnectionLimits {
    // The most connections served at once, whatever the descriptor limit would allow.
    static constexpr int defaultMaxConnections = 4096;
    // A forwarded request holds two descriptors: the client's and the app's.
    static constexpr qint64 descriptorsPerConnection = 2;
    // The router may use all but this fraction of the process's descriptors; the rest stay for
    // the app's files, child processes, HTTP clients and the desktop connections.
    static constexpr qint64 reservedDescriptorDivisor = 4;
    // A head that stops arriving for this long is given up. Real clients send a whole head at
    // once; this leaves room for several TCP retransmissions on a poor mobile link.
    static constexpr std::chrono::milliseconds defaultHeadIdleTimeout = std::chrono::seconds(30);
    // A head must be complete this long after the connection was accepted, however it trickles
    // in. Once a request is forwarded no time limit applies: downloads and upgraded connections
    // run as long as they like.
    static constexpr std::chrono::milliseconds defaultHeadDeadline = std::chrono::seconds(60);

    // What the request heads still arriving may hold together. Each may grow to 1 MiB, but a real
    // client's head is a few KiB: only a flood of huge heads reaches this, and the head that would
    // pass it is refused like one that is too large on its own.
    static constexpr qsizetype defaultHeadBudget = qsizetype(64) * 1024 * 1024;

    int maxConnections = defaultMaxConnections;
    std::chrono::milliseconds headIdleTimeout = defaultHeadIdleTimeout;
    std::chrono::milliseconds headDeadline = defaultHeadDeadline;
    qsizetype headBudget = defaultHeadBudget;

    // The defaults, with the connection bound kept within `descriptors` open files.
    static ConnectionLimits forDescriptorLimit(qint64 descriptors);
    // The defaults for the process's descriptor limit in force now.
    static ConnectionLimits standard();
};
