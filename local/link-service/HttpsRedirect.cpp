#include "link-service/HttpsRedirect.h"

#include "common/RequestReader.h"
#include "link-service/PublicNames.h"

#include <QTcpSocket>

namespace {

constexpr quint16 defaultHttpsPort = 443;

} // namespace

HttpsRedirect::HttpsRedirect(QString domain, QObject* parent)
    : QObject(parent), domain_(std::move(domain)) {
    connect(&server_, &QTcpServer::newConnection, this, &HttpsRedirect::accept);
}

bool HttpsRedirect::listen(const QHostAddress& address, quint16 port) {
    return server_.listen(address, port);
}

void HttpsRedirect::accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto* reader = new RequestReader(socket, false);
        connect(reader, &RequestReader::complete, socket,
                [this, socket](const HttpRequestHead& head, const QByteArray&) {
                    const QString host = PublicNames::hostName(head.header("host").value_or(""));
                    if (host != domain_ && !host.endsWith(QLatin1Char('.') + domain_)) {
                        socket->write(httpResponse(404, "unknown name\n"));
                        socket->disconnectFromHost();
                        return;
                    }
                    QByteArray location = "https://" + host.toLatin1();
                    if (httpsPort_ != defaultHttpsPort)
                        location += ':' + QByteArray::number(httpsPort_);
                    location += head.target.startsWith('/') ? head.target : "/";
                    socket->write(httpResponse(308, {}, {{"Location", location}}));
                    socket->disconnectFromHost();
                });
        connect(reader, &RequestReader::failed, socket, [socket](int status) {
            if (status == 0) {
                socket->abort();
                return;
            }
            socket->write(httpResponse(status, reasonPhrase(status)));
            socket->disconnectFromHost();
        });
    }
}
