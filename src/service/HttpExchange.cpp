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

// Qt reports an HTTP error status as a reply error too; those are answers, not failures.
bool isStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    const bool content = code >= QNetworkReply::ContentAccessDenied &&
                         code <= QNetworkReply::UnknownContentError &&
                         error != QNetworkReply::ContentReSendError;
    const bool server =
        code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError;
    return content || server;
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

QCoro::Task<std::optional<HttpAnswer>> exchange(QNetworkRequest request, QByteArray method,
                                                std::optional<QByteArray> body,
                                                CancelToken cancel) {
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(
        send(threadNetworkManager(), request, method, body));
    cancel.bind(reply.get());
    co_await reply.get();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (error != QNetworkReply::NoError && !(status.isValid() && isStatusError(error)))
        throw TransportError(error, reply->errorString());
    if (!status.isValid())
        co_return std::nullopt;
    co_return HttpAnswer{status.toLongLong(), reply->readAll()};
}
