#include "service/UserFacingError.h"

UserFacingError::UserFacingError(const QString& description)
    : std::runtime_error(description.toStdString()) {}

QString UserFacingError::description() const {
    return QString::fromUtf8(what());
}
