#pragma once

#include <QDateTime>
#include <QtGlobal>
#include <optional>

// A host's visitor summary: distinct client addresses seen in the activity window, and the
// latest time any client of the host was seen.
struct Visitors {
    qint64 active = 0;
    std::optional<QDateTime> lastSeen;

    friend bool operator==(const Visitors&, const Visitors&) = default;
};
