#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The cookie a visitor gets for the right passphrase: its expiry and an HMAC-SHA256 over the
// host, the expiry and the passphrase, keyed per install. A cookie works for one host only and
// stops working when the passphrase changes.
namespace AccessCookie {

inline constexpr QByteArrayView name = "skerrow_access";
inline constexpr qint64 lifetimeSeconds = qint64{7} * 24 * 3600;

QByteArray value(QByteArrayView key, const QString& host, const QString& passphrase,
                 qint64 expiresAt);
// Whether `value` was made by `value()` for this host and passphrase and is not expired at `now`.
bool isValid(QByteArrayView value, QByteArrayView key, const QString& host,
             const QString& passphrase, qint64 now);
// The Set-Cookie line's value for a fresh cookie.
QByteArray setCookie(const QByteArray& value, bool secure);

// Compares in a time that depends on the lengths only, so a guess learns nothing from timing.
bool equalInConstantTime(QByteArrayView a, QByteArrayView b);

} // namespace AccessCookie
