#include "app/Instant.h"

#include <cmath>

namespace Instant {

std::optional<QDateTime> fromMsecsSinceEpoch(double msecs) {
    if (!std::isfinite(msecs) || std::fabs(msecs) > maxMsecsFromEpoch)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::round(msecs)), Qt::UTC);
}

} // namespace Instant
