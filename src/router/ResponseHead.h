#pragma once

#include <QByteArray>
#include <optional>

// The rewrite of the app's first response head on its way to the client: every `Connection`
// line is replaced by "Connection: close", except for a protocol switch (status 101).
namespace ResponseHead {

// Heads longer than this pass unchanged.
inline constexpr qsizetype maxRewrittenHead = 65535;

// Given the bytes received from the app so far, returns what to send to the client, or nothing
// while a head that could still be rewritten is incomplete. `finished` says the app sends no more.
std::optional<QByteArray> rewrite(const QByteArray& buffer, bool finished);

} // namespace ResponseHead
