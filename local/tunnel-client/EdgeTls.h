#pragma once

#include <QSslSocket>

// How the client dials the edge: over TLS when the credentials say so, checking the edge's
// certificate against the system's authorities (and those in $SSL_CERT_FILE, the TLS library's
// usual way to add one), TLS 1.2 or later; in clear on loopback otherwise. `onReady` runs once
// the connection can carry data.
void dialEdge(QSslSocket& socket, const QString& host, quint16 port, bool tls,
              const std::function<void()>& onReady);
