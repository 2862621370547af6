#pragma once

#include <QString>
#include <QtGlobal>

// One public host shared from one local port. The tunnel supervisor hands the rules of all
// active links to LinkRouter::setRoutes.
struct RouteRule {
    QString host;
    qint64 port = 0;

    friend bool operator==(const RouteRule&, const RouteRule&) = default;
};
