#pragma once

#include <QtGlobal>

// The line protocol between the local edge and the local tunnel client. Every message is one
// line of ASCII ending in "\n".
//
// Control connection, opened by the tunnel client and kept open:
//   client: "HELLO <tunnelId> <secret>"   edge: "OK" or "DENIED <reason>" (then closes)
//   edge:   "OPEN <streamId>"             a visitor waits; the client connects to its origin and
//                                         then opens a stream connection, or answers
//   client: "REFUSED <streamId>"          when its origin cannot be reached
//   edge:   "PING"                        client: "PONG" (either side drops a silent peer)
// Stream connection, one per visitor request, opened by the tunnel client:
//   client: "STREAM <streamId>"           then raw bytes both ways: the edge writes the request
//                                         head and body, the client relays to and from its origin
namespace TunnelProtocol {
inline constexpr char hello[] = "HELLO";
inline constexpr char ok[] = "OK";
inline constexpr char denied[] = "DENIED";
inline constexpr char open[] = "OPEN";
inline constexpr char refused[] = "REFUSED";
inline constexpr char stream[] = "STREAM";
inline constexpr char ping[] = "PING";
inline constexpr char pong[] = "PONG";
// Longest line either side accepts; a longer one ends the connection.
inline constexpr qsizetype maxLineBytes = 1024;
// The edge pings this often; a side that hears nothing for `silenceLimitMs` drops the connection.
inline constexpr int pingIntervalMs = 5000;
inline constexpr int silenceLimitMs = 15000;
} // namespace TunnelProtocol
