#pragma once

#include "platform/Clock.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>
#include <utility>

// The network probes a scan runs against each candidate port. Each is bounded by a short fixed
// limit and blocks the calling (scan) thread; every failure gives an absent value.
namespace PortScanner {

inline constexpr int connectTimeoutMs = 120;
inline constexpr int requestTimeoutMs = 350;
inline constexpr int answerWaitMs = 450;
inline constexpr qsizetype pageBodyCap = 8192;
inline constexpr qsizetype iconBodyCap = 524288;
inline constexpr double iconRetryDelay = 30.0;
inline constexpr qsizetype titleLengthCap = 40;

// True when a TCP connection to the numeric `host` and `port` is made within `timeoutMs`.
bool tcpConnect(const QString& host, quint16 port, int timeoutMs);

// The page at "/" on the loopback addresses: (base URL, body text), any status from 100 to 599.
std::optional<std::pair<QString, QString>> httpGet(qint64 port);

// At most `maxBytes` of the body of `url`; with `okOnly` only a 2xx answer counts.
std::optional<QByteArray> httpGet(const QString& url, qsizetype maxBytes, bool okOnly);

std::optional<QString> pageTitle(const QString& from);
std::optional<QString> iconHref(const QString& from);

// The page's icon, fetched once per port and icon address; a failure is remembered for 30 s.
std::optional<QImage> favicon(qint64 port, const QString& base, const QString& body,
                              const Clock& clock = systemClock());

} // namespace PortScanner
