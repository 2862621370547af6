#include "tunnel/Tunnel.h"

#include "platform/SupportDirectory.h"
#include "service/HttpExchange.h"
#include "service/PlatformErrors.h"
#include "service/Provisioner.h"
#include "service/Text.h"
#include "tunnel/TunnelError.h"

#include <QFile>
#include <QJsonDocument>
#include <QUrl>

namespace {

constexpr qint64 statusOK = 200;

QCoro::Task<std::optional<MetricsAnswer>> askMetrics(qint64 port, QString path) {
    const QUrl url(QStringLiteral("http://127.0.0.1:") + QString::number(port) + path,
                   QUrl::StrictMode);
    if (!url.isValid())
        co_return std::nullopt;
    QNetworkRequest request(url);
    request.setTransferTimeout(Tunnel::metricsTimeoutMs);
    std::optional<HttpAnswer> answer;
    try {
        answer = co_await exchange(request, QByteArrayLiteral("GET"), std::nullopt, CancelToken());
    } catch (const TransportError&) {
        // Not listening yet, timed out, or broken: all mean "no answer".
        co_return std::nullopt;
    }
    if (!answer)
        co_return std::nullopt;
    co_return MetricsAnswer{answer->status, utf8OrEmpty(answer->body)};
}

QCoro::Task<bool> askReady(qint64 port) {
    const std::optional<MetricsAnswer> answer = co_await askMetrics(port, QStringLiteral("/ready"));
    co_return answer && answer->status == statusOK;
}

} // namespace

Tunnel::Tunnel(const std::optional<QString>& supportDir, qint64 metricsPort, LinkRouter* router,
               std::optional<QString> executable, QObject* parent)
    : QObject(parent), supportDir_(supportDir.value_or(defaultSupportDirectory())),
      configURL_(supportDir_ + QStringLiteral("/config.yml")), metricsPort_(metricsPort),
      router_(router), executable_(std::move(executable)) {}

void Tunnel::writeIngress() const {
    QFile file(configURL_);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(configURL_, file.errorString());
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw JsonError::invalidJson(parseError.errorString(), parseError.offset);
    if (!document.isObject())
        throw TunnelError::badConfig();

    Provisioner::writeSecure(
        TunnelConfig::render(TunnelConfig::withIngress(document.object(), metricsPort_)),
        configURL_);
}

QCoro::Task<std::optional<MetricsAnswer>> Tunnel::metrics(QString path) const {
    return askMetrics(metricsPort_, std::move(path));
}

QCoro::Task<bool> Tunnel::isReady() const {
    return askReady(metricsPort_);
}
