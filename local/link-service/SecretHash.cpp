#include "link-service/SecretHash.h"

#include <QCryptographicHash>

QString secretHash(const QString& secret) {
    return QString::fromLatin1(
        QCryptographicHash::hash(secret.toUtf8(), QCryptographicHash::Sha256).toHex());
}

bool matchesHash(const QString& secret, const QString& hash) {
    const QByteArray presented = secretHash(secret).toLatin1();
    const QByteArray kept = hash.toLatin1();
    if (presented.size() != kept.size())
        return false;
    char difference = 0;
    for (qsizetype i = 0; i < kept.size(); ++i)
        difference = static_cast<char>(difference | (presented[i] ^ kept[i]));
    return difference == 0;
}
