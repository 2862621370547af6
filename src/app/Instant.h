#pragma once

#include <QDateTime>
#include <optional>

// Instants that come from outside (the link service's answers, links.json) as numbers.
namespace Instant {

// The farthest an instant may lie from 1970 in either direction, in milliseconds: 100 million
// days, as in ECMAScript. Differences between any two such instants fit in 64 bits.
inline constexpr double maxMsecsFromEpoch = 8.64e15;

// The instant `msecs` milliseconds after 1970-01-01T00:00:00Z, rounded to whole milliseconds;
// absent when the number is not finite or lies outside the range above.
std::optional<QDateTime> fromMsecsSinceEpoch(double msecs);

} // namespace Instant
