#include "router/ConnectionLimits.h"

#include "platform/DescriptorLimit.h"

#include <algorithm>

ConnectionLimits ConnectionLimits::forDescriptorLimit(qint64 descriptors) {
    const qint64 usable = descriptors - descriptors / reservedDescriptorDivisor;
    ConnectionLimits limits;
    limits.maxConnections = static_cast<int>(
        std::clamp<qint64>(usable / descriptorsPerConnection, 1, qint64{defaultMaxConnections}));
    return limits;
}

ConnectionLimits ConnectionLimits::standard() {
    return forDescriptorLimit(descriptorLimit());
}
