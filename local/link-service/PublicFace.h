#pragma once

#include "common/SimpleHttpServer.h"
#include "link-service/HttpsRedirect.h"
#include "link-service/PublicEdge.h"
#include "link-service/TlsListener.h"

// The service as the internet sees it: one TLS port for every name under the domain, where
// `api.<domain>` is the REST API and every other name is a link on the edge, and a plain HTTP
// port that only redirects to HTTPS. The name comes from SNI and must agree with the Host header.
class PublicFace : public QObject {
    Q_OBJECT
public:
    PublicFace(const QString& domain, SimpleHttpServer::Handler api, PublicEdge& edge,
               const QSslConfiguration& tls, QObject* parent = nullptr);

    // Opens both ports; on failure the reason is in `errorString`.
    bool listen(const QHostAddress& address, quint16 httpsPort, quint16 httpPort);
    QString errorString() const { return error_; }
    quint16 httpsPort() const { return tls_.serverPort(); }
    quint16 httpPort() const { return redirect_.serverPort(); }
    // New connections get the new certificate; open ones keep the one they started with.
    void setTls(const QSslConfiguration& tls) { tls_.setConfiguration(tls); }

    static QString apiName(const QString& domain) { return QStringLiteral("api.") + domain; }

private:
    void route(QSslSocket* socket, const QString& serverName);

    QString apiName_;
    TlsListener tls_;
    SimpleHttpServer api_;
    PublicEdge& edge_;
    HttpsRedirect redirect_;
    QString error_;
};
