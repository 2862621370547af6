#include "link-service/PublicFace.h"

#include "link-service/PublicNames.h"

PublicFace::PublicFace(const QString& domain, SimpleHttpServer::Handler api, PublicEdge& edge,
                       const QSslConfiguration& tls, QObject* parent)
    : QObject(parent), apiName_(apiName(domain)), tls_(tls),
      api_([name = apiName_, api = std::move(api)](const HttpRequest& request,
                                                   const HttpResponder& responder) {
          if (PublicNames::hostName(request.head.header("host").value_or("")) != name) {
              responder.respond(421, "This connection is for " + name.toLatin1() + ".\n", {},
                                "text/plain; charset=utf-8");
              return;
          }
          api(request, responder);
      }),
      edge_(edge), redirect_(domain) {
    connect(&tls_, &TlsListener::secured, this, &PublicFace::route);
}

bool PublicFace::listen(const QHostAddress& address, quint16 httpsPort, quint16 httpPort) {
    if (!tls_.listen(address, httpsPort)) {
        error_ = QStringLiteral("HTTPS port %1: %2").arg(httpsPort).arg(tls_.errorString());
        return false;
    }
    redirect_.setHttpsPort(tls_.serverPort());
    if (!redirect_.listen(address, httpPort)) {
        error_ = QStringLiteral("HTTP port %1: %2").arg(httpPort).arg(redirect_.errorString());
        return false;
    }
    return true;
}

void PublicFace::route(QSslSocket* socket, const QString& serverName) {
    if (serverName == apiName_)
        api_.serve(socket);
    else
        edge_.adopt(socket, serverName);
}
