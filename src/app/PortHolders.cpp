#include "app/PortHolders.h"

namespace PortHolders {

std::optional<PortScanner::Listener> foreignHolder(const QList<PortScanner::Listener>& listing,
                                                   const QList<qint64>& ports,
                                                   const QList<qint64>& ours) {
    for (const qint64 port : ports) {
        for (const PortScanner::Listener& listener : listing) {
            if (listener.port == port && !ours.contains(listener.pid))
                return listener;
        }
    }
    return std::nullopt;
}

} // namespace PortHolders
