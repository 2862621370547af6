#pragma once

#include "discovery/PortRow.h"

// A scanned app row with a pid derived from its port.
inline PortRow row(qint64 port, const char* label) {
    PortRow r;
    r.port = port;
    r.pid = 100 + port;
    r.label = QString::fromUtf8(label);
    return r;
}
