#pragma once

#include <QString>
#include <stdexcept>

// Base of every error this app raises: it carries the one line the user may see.
class UserFacingError : public std::runtime_error {
public:
    explicit UserFacingError(const QString& description);

    QString description() const;
};
