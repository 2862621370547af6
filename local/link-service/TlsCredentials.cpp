#include "link-service/TlsCredentials.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

std::variant<QSslConfiguration, QString> loadTlsCredentials(const QString& certificatePath,
                                                            const QString& keyPath) {
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath);
    if (chain.isEmpty())
        return QStringLiteral("no PEM certificate in %1").arg(certificatePath);
    QFile keyFile(keyPath);
    if (!keyFile.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1: %2").arg(keyPath, keyFile.errorString());
    const QByteArray pem = keyFile.readAll();
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa}) {
        key = QSslKey(pem, algorithm);
        if (!key.isNull())
            break;
    }
    if (key.isNull())
        return QStringLiteral("no EC or RSA private key in %1").arg(keyPath);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}
