#pragma once

#include "service/UserFacingError.h"

// The tunnel's own error: config.yml holds JSON that is not an object.
class TunnelError : public UserFacingError {
public:
    enum class Kind { badConfig };

    static TunnelError badConfig();

    Kind kind() const { return kind_; }

private:
    TunnelError(Kind kind, const QString& description);

    Kind kind_;
};
