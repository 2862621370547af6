#include "service/ProvisionError.h"
#include "service/Provisioner.h"
#include "service/Text.h"

#include <QUrl>

namespace {

constexpr qint64 statusOK = 200;
constexpr qint64 statusUnauthorized = 401;

// Characters a path segment may hold unescaped besides the unreserved ones; "/" is not among
// them, so a host can never reach another resource of the service.
const QByteArray segmentSafe = QByteArrayLiteral("!$&'()*+,;=:@");

void checkStatus(const HttpAnswer& answer) {
    if (answer.status == statusUnauthorized)
        throw ProvisionError::unauthorized();
    if (answer.status != statusOK)
        throw ProvisionError::api(answer.status, utf8OrEmpty(answer.body));
}

// Built outside the coroutine: GCC 12 cannot keep an initializer list in a coroutine frame.
QJsonObject mintBody(qint64 port) {
    return QJsonObject{{QStringLiteral("port"), QJsonValue(port)}};
}

QCoro::Task<RemoteLink> runMint(Provisioner self, qint64 port, CancelToken cancel) {
    const Install install = self.loadInstall();
    const HttpAnswer answer = co_await self.request(
        QStringLiteral("POST"), QStringLiteral("/v1/links"), install, mintBody(port), {}, cancel);
    checkStatus(answer);
    co_return RemoteLink::fromJson(answer.body);
}

QCoro::Task<LinksResponse> runLinks(Provisioner self, CancelToken cancel) {
    const Install install = self.loadInstall();
    const HttpAnswer answer = co_await self.request(
        QStringLiteral("GET"), QStringLiteral("/v1/links"), install, std::nullopt, {}, cancel);
    checkStatus(answer);
    co_return LinksResponse::fromJson(answer.body);
}

QCoro::Task<> runKill(Provisioner self, QString host, CancelToken cancel) {
    const Install install = self.loadInstall();
    const HttpAnswer answer = co_await self.request(QStringLiteral("DELETE"), killPath(host),
                                                    install, std::nullopt, {}, cancel);
    // A 404 is an error too; whether it means "already gone" is for the caller to decide.
    checkStatus(answer);
}

} // namespace

QString killPath(const QString& host) {
    return QStringLiteral("/v1/links/") +
           QString::fromLatin1(QUrl::toPercentEncoding(host, segmentSafe));
}

QCoro::Task<RemoteLink> Provisioner::mint(qint64 port, CancelToken cancel) const {
    return runMint(*this, port, std::move(cancel));
}

QCoro::Task<LinksResponse> Provisioner::links(CancelToken cancel) const {
    return runLinks(*this, std::move(cancel));
}

QCoro::Task<> Provisioner::kill(QString host, CancelToken cancel) const {
    return runKill(*this, std::move(host), std::move(cancel));
}
