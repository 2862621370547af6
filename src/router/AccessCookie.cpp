#include "router/AccessCookie.h"

#include <QMessageAuthenticationCode>

namespace AccessCookie {
namespace {

constexpr auto encoding = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray signature(QByteArrayView key, const QString& host, const QString& passphrase,
                     qint64 expiresAt) {
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, key.toByteArray());
    mac.addData(host.toLower().toUtf8());
    mac.addData("\n");
    mac.addData(QByteArray::number(expiresAt));
    mac.addData("\n");
    mac.addData(passphrase.toUtf8());
    return mac.result().toBase64(encoding);
}

} // namespace

QByteArray value(QByteArrayView key, const QString& host, const QString& passphrase,
                 qint64 expiresAt) {
    return QByteArray::number(expiresAt) + '.' + signature(key, host, passphrase, expiresAt);
}

bool isValid(QByteArrayView value, QByteArrayView key, const QString& host,
             const QString& passphrase, qint64 now) {
    const qsizetype dot = value.indexOf('.');
    if (dot <= 0)
        return false;
    bool ok = false;
    const qint64 expiresAt = value.first(dot).toLongLong(&ok);
    if (!ok || expiresAt <= now)
        return false;
    return equalInConstantTime(value.sliced(dot + 1), signature(key, host, passphrase, expiresAt));
}

QByteArray setCookie(const QByteArray& value, bool secure) {
    QByteArray line = name.toByteArray() + '=' + value +
                      "; Path=/; Max-Age=" + QByteArray::number(lifetimeSeconds) +
                      "; HttpOnly; SameSite=Lax";
    if (secure)
        line += "; Secure";
    return line;
}

bool equalInConstantTime(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace AccessCookie
