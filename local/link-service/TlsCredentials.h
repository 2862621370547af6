#pragma once

#include <QSslConfiguration>
#include <QString>
#include <variant>

// The edge's server configuration from a certificate chain and a private key in PEM files
// (as certbot writes them: fullchain.pem and privkey.pem). TLS 1.2 and 1.3 only, with the
// TLS library's current cipher defaults. An error is a readable sentence.
std::variant<QSslConfiguration, QString> loadTlsCredentials(const QString& certificatePath,
                                                            const QString& keyPath);
