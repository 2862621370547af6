#pragma once

#include "discovery/PortScanner.h"

#include <QList>
#include <optional>

// Another program on one of the app's own ports (the tunnel client's metrics port, the router's
// port): ours cannot take it, so nothing repairs the path until that program lets it go.
namespace PortHolders {

// The first listener on one of `ports` (in the order of `ports`) whose process is none of
// `ours`.
std::optional<PortScanner::Listener> foreignHolder(const QList<PortScanner::Listener>& listing,
                                                   const QList<qint64>& ports,
                                                   const QList<qint64>& ours);

} // namespace PortHolders
