#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

// A certificate authority made for one test with the openssl tool, and server certificates it
// signs. Files live in the given directory.
class TestCertificates {
public:
    explicit TestCertificates(QString dir) : dir_(std::move(dir)) {}
    // Makes the authority; false (with the tool's output on standard error) when it fails.
    bool makeAuthority();
    // Signs a certificate for `names` (subject alternative names) into `<stem>.pem` and
    // `<stem>.key`; `organization` tells certificates apart.
    bool issue(const QString& stem, const QStringList& names, const QString& organization);
    QString certificate(const QString& stem) const { return path(stem + QStringLiteral(".pem")); }
    QString key(const QString& stem) const { return path(stem + QStringLiteral(".key")); }
    QList<QSslCertificate> authority() const;

private:
    QString path(const QString& name) const { return dir_ + QLatin1Char('/') + name; }
    bool openssl(const QStringList& args) const;

    QString dir_;
};

// What one request on a fresh TLS connection brought back.
struct TlsAnswer {
    // Empty when the handshake failed.
    QByteArray bytes;
    QSslCertificate peer;
    int status() const;
};

// Connects to 127.0.0.1:`port` asking for `serverName`, trusting only `authority`, sends
// `request` and reads until the peer closes.
TlsAnswer tlsExchange(quint16 port, const QString& serverName, const QByteArray& request,
                      const QList<QSslCertificate>& authority, int timeoutMs = 10000);
