#pragma once

#include "router/Descriptor.h"

#include <QByteArrayView>
#include <QtGlobal>

// What the far side of a router connection does to its own socket: the visitor's end of a
// client connection, or the app's end of a connection the router made. Every call returns at
// once; errors are the peer's own business and only end its part in the script.
namespace peer {

// Smallest buffers the kernel allows, so that a peer that stops reading makes the router's
// writes block after a few kilobytes.
void shrinkBuffers(int fd);
// Sends what the socket takes now of `bytes`.
void send(const Descriptor& socket, QByteArrayView bytes);
// Sends until the socket takes no more, up to `limit` bytes.
void flood(const Descriptor& socket, qsizetype limit);

enum class Read { open, ended };
// Reads at most `limit` bytes; `ended` once the router closed or reset the connection.
Read read(const Descriptor& socket, qsizetype limit, QByteArray* into = nullptr);
void shutdownSending(const Descriptor& socket);
// Closes with a reset instead of a graceful end.
void reset(Descriptor& socket);

} // namespace peer
