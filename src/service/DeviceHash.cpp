#include "service/DeviceHash.h"

#include <QCryptographicHash>
#include <QSysInfo>

QString deviceHash(const QString& machineId) {
    const QByteArray input = (QStringLiteral("skerrow:") + machineId).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha256).toHex());
}

QString deviceHash() {
    return deviceHash(QString::fromUtf8(QSysInfo::machineUniqueId()));
}
