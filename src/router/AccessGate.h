#pragma once

#include "router/GuessLimiter.h"
#include "router/LinkAccess.h"
#include "router/RequestHead.h"

#include <QByteArray>
#include <QHash>
#include <QList>

// The passphrase check of links that have one, taken where the router has chosen the route.
// A request with our cookie or our Basic credentials goes on to the app without them; a CORS
// preflight goes on as it is; anything else gets the login page, or a plain 401 for clients
// that do not read pages. Requests it answers itself are not visits.
class AccessGate {
public:
    // Bytes of a login form the router reads at most.
    static constexpr qsizetype maxFormBytes = 4096;

    // Cookies get the Secure attribute when the public addresses are https.
    explicit AccessGate(bool secureCookies) : secureCookies_(secureCookies) {}

    // `key` signs the cookies; it stays the same across restarts of one install.
    void setAccess(const QByteArray& key, const QList<LinkAccess>& links);

    // Lets a routed request through, perhaps rewritten, or turns it into the router's own answer,
    // or asks for more bytes when a login form's body has not all arrived. `now` is in seconds
    // since 1970.
    void admit(RequestHead::Decision& decision, qint64 now);

private:
    struct Guarded {
        QString passphrase;
        QString project;
        // The passphrase's HMAC: guesses are compared as HMACs, so the comparison takes the same
        // time whatever their length.
        QByteArray passphraseMac;
    };
    bool isPassphrase(const Guarded& link, QByteArrayView guess) const;
    bool hasValidCookie(const QString& host, const Guarded& link, QByteArrayView value, qint64 now);

    const bool secureCookies_;
    QByteArray key_;
    QList<LinkAccess> access_;
    QHash<QString, Guarded> links_;
    // Cookies already checked, with their expiry: a visitor's every request carries the same one.
    QHash<QByteArray, qint64> checkedCookies_;
    GuessLimiter limiter_;
};
