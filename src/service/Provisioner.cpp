#include "service/Provisioner.h"

#include "platform/BuildProfile.h"
#include "platform/SupportDirectory.h"
#include "service/ProvisionError.h"

#include <QJsonDocument>
#include <QUrl>

namespace {

QCoro::Task<HttpAnswer> sendRequest(QString apiBase, QString method, QString path,
                                    std::optional<Install> auth, std::optional<QJsonObject> body,
                                    QMap<QString, QString> headers, CancelToken cancel) {
    // Plain concatenation: apiBase is an origin without a trailing slash, path starts with "/".
    const QUrl url(apiBase + path, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        throw ProvisionError::api(0, QStringLiteral("bad url"));

    QNetworkRequest request(url);
    request.setTransferTimeout(Provisioner::requestTimeoutMs);
    // Sent on every request, also on those without a body.
    request.setRawHeader("Content-Type", "application/json");
    if (auth)
        request.setRawHeader("Authorization", (QStringLiteral("Bearer ") + auth->installId +
                                               QLatin1Char('.') + auth->token)
                                                  .toUtf8());
    for (auto header = headers.cbegin(); header != headers.cend(); ++header)
        request.setRawHeader(header.key().toUtf8(), header.value().toUtf8());

    std::optional<QByteArray> bytes;
    if (body)
        bytes = QJsonDocument(*body).toJson(QJsonDocument::Compact);

    const std::optional<HttpAnswer> answer =
        co_await exchange(request, method.toUtf8(), bytes, cancel);
    if (!answer)
        throw ProvisionError::api(0, QStringLiteral("no response"));
    co_return *answer;
}

} // namespace

Provisioner::Provisioner(const std::optional<QString>& supportDir,
                         const std::optional<QString>& apiBase)
    : supportDir_(supportDir.value_or(defaultSupportDirectory())),
      apiBase_(apiBase.value_or(QString::fromLatin1(BuildProfile::apiBase))) {}

QString Provisioner::fileURL(const QString& name) const {
    return supportDir_ + QLatin1Char('/') + name;
}

QString Provisioner::installURL() const {
    return fileURL(QStringLiteral("install.json"));
}

QString Provisioner::configURL() const {
    return fileURL(QStringLiteral("config.yml"));
}

QString Provisioner::pendingKillsURL() const {
    return fileURL(QStringLiteral("pending-kills.json"));
}

QCoro::Task<HttpAnswer> Provisioner::request(QString method, QString path,
                                             std::optional<Install> auth,
                                             std::optional<QJsonObject> body,
                                             QMap<QString, QString> headers,
                                             CancelToken cancel) const {
    return sendRequest(apiBase_, std::move(method), std::move(path), std::move(auth),
                       std::move(body), std::move(headers), std::move(cancel));
}
