#include "service/HttpExchange.h"

#include "service/PlatformErrors.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QThreadStorage>
#include <memory>

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Qt reports every HTTP error status as a reply error too (400 and 418 as protocol errors, 407
// as a proxy error); with a status those are answers. Only failures of the connection itself
// (refused, closed mid-answer, timed out, cancelled, TLS) lose the answer, status or not.
bool isTransportFailure(QNetworkReply::NetworkError error) {
    return error != QNetworkReply::NoError &&
           (static_cast<int>(error) < QNetworkReply::ProxyConnectionRefusedError ||
            error == QNetworkReply::ContentReSendError);
}

QNetworkReply* send(QNetworkAccessManager& manager, const QNetworkRequest& request,
                    const QByteArray& method, const std::optional<QByteArray>& body) {
    if (method == "GET" && !body)
        return manager.get(request);
    if (body)
        return manager.sendCustomRequest(request, method, *body);
    return manager.sendCustomRequest(request, method);
}

} // namespace

QNetworkAccessManager& threadNetworkManager() {
    static QThreadStorage<QNetworkAccessManager*> managers;
    if (!managers.hasLocalData())
        managers.setLocalData(new QNetworkAccessManager);
    return *managers.localData();
}

std::optional<QByteArray> HttpAnswer::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

QCoro::Task<std::optional<HttpAnswer>> exchange(const QNetworkRequest& request, QByteArray method,
                                                std::optional<QByteArray> body,
                                                CancelToken cancel) {
    return exchange(threadNetworkManager(), request, std::move(method), std::move(body),
                    std::move(cancel));
}

QCoro::Task<std::optional<HttpAnswer>> exchange(QNetworkAccessManager& manager,
                                                QNetworkRequest request, QByteArray method,
                                                std::optional<QByteArray> body,
                                                CancelToken cancel) {
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(send(manager, request, method, body));
    cancel.bind(reply.get());
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (isTransportFailure(error) || (error != QNetworkReply::NoError && !status.isValid()))
        throw TransportError(error, reply->errorString());
    if (!status.isValid())
        co_return std::nullopt;
    co_return HttpAnswer{status.toLongLong(), reply->readAll(), reply->rawHeaderPairs()};
}
