#pragma once

#include "service/UserFacingError.h"

// The errors of the link service client that are not the platform's own.
class ProvisionError : public UserFacingError {
public:
    enum class Kind {
        // The service answered a status the operation does not take, the install answer was
        // malformed, or no request or no HTTP answer came about (status 0).
        api,
        // No readable install record exists.
        notInstalled,
        // The service answered 401 to an authenticated request.
        unauthorized,
    };

    // The longest part of a response body that a description shows, in characters.
    static constexpr int bodyPreviewLength = 200;

    static ProvisionError api(qint64 status, const QString& body);
    static ProvisionError notInstalled();
    static ProvisionError unauthorized();

    Kind kind() const { return kind_; }
    // Only meaningful for api.
    qint64 status() const { return status_; }
    const QString& body() const { return body_; }

    QString errorDescription() const { return description(); }

private:
    ProvisionError(Kind kind, qint64 status, const QString& body, const QString& description);

    Kind kind_;
    qint64 status_;
    QString body_;
};
