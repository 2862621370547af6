#include "app/PublicProbe.h"

#include "app/ShareLink.h"
#include "service/UserFacingError.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QThreadStorage>
#include <QTimer>
#include <QUrl>

namespace PublicProbe {
namespace {

// A cookie jar that never keeps a cookie, so nothing carries over between probes.
class ForgetfulCookieJar : public QNetworkCookieJar {
public:
    bool setCookiesFromUrl(const QList<QNetworkCookie>& /*cookies*/, const QUrl& /*url*/) override {
        return false;
    }
};

// The probe client of the calling thread: no cache (the manager has none unless given one),
// no cookies, and no credentials (nobody answers its authentication requests).
QNetworkAccessManager& probeSession() {
    static QThreadStorage<QNetworkAccessManager*> sessions;
    if (!sessions.hasLocalData()) {
        auto* session = new QNetworkAccessManager;
        session->setCookieJar(new ForgetfulCookieJar);
        sessions.setLocalData(session);
    }
    return *sessions.localData();
}

QNetworkRequest probeRequest(const QUrl& url) {
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setRawHeader("Connection", "close");
    request.setRawHeader("X-Skerrow-Probe", "1");
    return request;
}

} // namespace

Public classify(const std::optional<HttpAnswer>& answer) {
    if (!answer)
        return Public::unreachable;
    if (const std::optional<QByteArray> state = answer->header(statusHeader))
        return *state == endedValue ? Public::ended : Public::unreachable;
    if (answer->status == originUnreachableStatus || answer->status == tunnelUnreachableStatus)
        return Public::unreachable;
    return Public::live;
}

QCoro::Task<Public> publicStatus(QString host) {
    const QUrl url(publicURL(host) + QLatin1Char('/'), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        co_return Public::unreachable;
    const CancelToken deadline;
    // The transfer time-out counts only silence; this bounds the whole probe.
    QTimer::singleShot(timeoutMs, &probeSession(), [deadline] { deadline.cancel(); });
    // Named, not temporary: GCC 12 mishandles temporaries inside co_await expressions.
    const QNetworkRequest request = probeRequest(url);
    const QByteArray method = QByteArrayLiteral("GET");
    std::optional<HttpAnswer> answer;
    try {
        QCoro::Task<std::optional<HttpAnswer>> sending =
            exchange(probeSession(), request, method, std::nullopt, deadline);
        answer = co_await sending;
    } catch (const UserFacingError&) {
        co_return Public::unreachable;
    }
    co_return classify(answer);
}

} // namespace PublicProbe
