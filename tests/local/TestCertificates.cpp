#include "TestCertificates.h"

#include "support/Wait.h"

#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QSslSocket>
#include <cstdio>

bool TestCertificates::openssl(const QStringList& args) const {
    QProcess process;
    process.setWorkingDirectory(dir_);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), args);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        std::fputs(process.readAll().constData(), stderr);
        return false;
    }
    return true;
}

bool TestCertificates::makeAuthority() {
    return openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                    QStringLiteral("-keyout"), path(QStringLiteral("ca.key")),
                    QStringLiteral("-out"), path(QStringLiteral("ca.pem")), QStringLiteral("-days"),
                    QStringLiteral("2"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=Skerrow test authority")});
}

bool TestCertificates::issue(const QString& stem, const QStringList& names,
                             const QString& organization) {
    QStringList alternatives;
    for (const QString& name : names)
        alternatives.append(QStringLiteral("DNS:") + name);
    QFile extensions(path(stem + QStringLiteral(".ext")));
    if (!extensions.open(QIODevice::WriteOnly))
        return false;
    extensions.write("subjectAltName=" + alternatives.join(QLatin1Char(',')).toLatin1() + "\n");
    extensions.close();
    return openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), key(stem),
                    QStringLiteral("-out"), path(stem + QStringLiteral(".csr")),
                    QStringLiteral("-subj"),
                    QStringLiteral("/O=%1/CN=%2").arg(organization, names.first())}) &&
           openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    path(stem + QStringLiteral(".csr")), QStringLiteral("-CA"),
                    path(QStringLiteral("ca.pem")), QStringLiteral("-CAkey"),
                    path(QStringLiteral("ca.key")), QStringLiteral("-CAcreateserial"),
                    QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-extfile"),
                    extensions.fileName(), QStringLiteral("-out"), certificate(stem)});
}

QList<QSslCertificate> TestCertificates::authority() const {
    return QSslCertificate::fromPath(path(QStringLiteral("ca.pem")));
}

int TlsAnswer::status() const {
    if (!bytes.startsWith("HTTP/1.1 "))
        return 0;
    return bytes.mid(9, 3).toInt();
}

TlsAnswer tlsExchange(quint16 port, const QString& serverName, const QByteArray& request,
                      const QList<QSslCertificate>& authority, int timeoutMs) {
    QSslSocket socket;
    QSslConfiguration configuration = socket.sslConfiguration();
    configuration.setCaCertificates(authority);
    socket.setSslConfiguration(configuration);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port, serverName);
    TlsAnswer answer;
    const auto deadline = std::chrono::milliseconds(timeoutMs);
    if (!waitUntil(
            [&] {
                return socket.isEncrypted() || socket.state() == QAbstractSocket::UnconnectedState;
            },
            deadline) ||
        !socket.isEncrypted())
        return answer;
    answer.peer = socket.peerCertificate();
    socket.write(request);
    QObject::connect(&socket, &QSslSocket::readyRead, [&] { answer.bytes += socket.readAll(); });
    waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, deadline);
    answer.bytes += socket.readAll();
    return answer;
}
