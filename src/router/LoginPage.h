#pragma once

#include <QByteArray>
#include <QString>

// The router's own answers on a link with a passphrase: the login page, the redirect after a
// right passphrase, and the refusals. Every answer closes its connection.
namespace LoginPage {

// Where the login form posts to; only links with a passphrase serve it.
inline constexpr const char* path = "/.skerrow/login";

struct Form {
    QString project;
    // The page to go to after logging in: a path on the same host.
    QByteArray next;
    QString message;
};

// 401 with the login page.
QByteArray page(const Form& form);
// 429 for an address that tried too often, with the seconds to wait.
QByteArray tooManyAttempts(qint64 retryAfterSeconds, bool html, const Form& form);
// 401 for clients that do not read pages (curl, scripts, fetch): asks for Basic credentials.
QByteArray credentialsRequired(const QString& project);
// 303 to `next`, setting the cookie.
QByteArray loggedIn(const QByteArray& next, const QByteArray& setCookie);
// A target that is safe to redirect to after logging in: a path on this host, "/" otherwise.
QByteArray safeNext(const QByteArray& target);

} // namespace LoginPage
