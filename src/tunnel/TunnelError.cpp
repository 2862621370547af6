#include "tunnel/TunnelError.h"

TunnelError::TunnelError(Kind kind, const QString& description)
    : UserFacingError(description), kind_(kind) {}

TunnelError TunnelError::badConfig() {
    return TunnelError(Kind::badConfig,
                       QStringLiteral("Invalid config.yml in Application Support/skerrow"));
}
