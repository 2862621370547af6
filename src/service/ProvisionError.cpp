#include "service/ProvisionError.h"

#include "service/Text.h"

ProvisionError::ProvisionError(Kind kind, qint64 status, const QString& body,
                               const QString& description)
    : UserFacingError(description), kind_(kind), status_(status), body_(body) {}

ProvisionError ProvisionError::api(qint64 status, const QString& body) {
    return ProvisionError(Kind::api, status, body,
                          QStringLiteral("Server ") + QString::number(status) +
                              QStringLiteral(": ") + firstCharacters(body, bodyPreviewLength));
}

ProvisionError ProvisionError::notInstalled() {
    return ProvisionError(Kind::notInstalled, 0, {}, QStringLiteral("Tunnel not ready yet"));
}

ProvisionError ProvisionError::unauthorized() {
    return ProvisionError(Kind::unauthorized, 0, {},
                          QStringLiteral("Install expired \u2014 set up sharing again"));
}
