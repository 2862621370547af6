#pragma once

#include "service/HttpExchange.h"

#include <QCoroTask>
#include <QString>
#include <optional>

// What one request to a link's public address showed.
enum class Public {
    // An ordinary HTTP answer came back: the path through edge, tunnel and router works.
    live,
    // No usable answer: no connection, a time-out, or the edge could not reach the tunnel.
    unreachable,
    // The edge says the link has ended.
    ended,
};

// Probes of public addresses, on a client of their own that keeps nothing between requests.
namespace PublicProbe {

// Each probe is cut off after this long, from start to end.
inline constexpr int timeoutMs = 5000;
// Edge answers that mean it did not get through to the tunnel.
inline constexpr qint64 originUnreachableStatus = 522;
inline constexpr qint64 tunnelUnreachableStatus = 530;
// The edge's header that states the link's end, and its one value that means ended.
inline constexpr char statusHeader[] = "x-skerrow-status";
inline constexpr char endedValue[] = "ended";

// The verdict on one answer; nothing stands for a failed request or an answer that is not HTTP.
Public classify(const std::optional<HttpAnswer>& answer);

// One GET of the host's public address ("/"), sent with "Connection: close" and the probe header
// that keeps the router from counting it as a visitor. Never fails.
QCoro::Task<Public> publicStatus(QString host);

} // namespace PublicProbe
