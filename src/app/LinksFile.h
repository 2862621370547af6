#pragma once

#include "app/ShareLink.h"

#include <QByteArray>
#include <QList>
#include <optional>

// The content of links.json: one compact JSON array of link objects with their members in the
// order host, port, expiresAt, project; "expiresAt" counts seconds since 2001-01-01T00:00:00Z.
namespace LinksFile {

inline constexpr char fileName[] = "links.json";
// Seconds between 1970-01-01T00:00:00Z and 2001-01-01T00:00:00Z.
inline constexpr qint64 referenceEpochOffset = 978307200;

// Absent when a link cannot be encoded (an expiry that is no finite number).
std::optional<QByteArray> encode(const QList<ShareLink>& links);
// Absent unless the content is an array whose every element has all four members with their
// types and an expiry within the range of instants.
std::optional<QList<ShareLink>> decode(const QByteArray& content);

double secondsSinceReferenceEpoch(const QDateTime& instant);
// Absent for a number outside the range of Instant::fromMsecsSinceEpoch.
std::optional<QDateTime> fromSecondsSinceReferenceEpoch(double seconds);

} // namespace LinksFile
