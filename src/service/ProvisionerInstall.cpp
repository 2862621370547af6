#include "service/DeviceHash.h"
#include "service/PlatformErrors.h"
#include "service/ProvisionError.h"
#include "service/Provisioner.h"
#include "service/Text.h"
#include "tunnel/TunnelConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr qint64 statusOK = 200;
constexpr qint64 statusUnauthorized = 401;

// Removed by clearLocal besides every ".json" file; the pid file and the log stay.
const QStringList localFileNames{
    QStringLiteral("install.json"),       QStringLiteral("config.yml"),
    QStringLiteral("hostname"),           QStringLiteral("links.json"),
    QStringLiteral("pending-kills.json"),
};

ProvisionError badInstallResponse(qint64 status) {
    return ProvisionError::api(status, QStringLiteral("bad install response"));
}

// The tunnel id names a file in the support directory, so it must be a plain file name.
bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

bool hasJsonExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && QStringView(name).mid(dot + 1) == QLatin1String("json");
}

// The install answer as a record, or the error it stands for; the credentials come back compact.
std::pair<Install, QByteArray> readInstallAnswer(const HttpAnswer& answer) {
    if (answer.status != statusOK)
        throw ProvisionError::api(answer.status, utf8OrEmpty(answer.body));

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw JsonError::invalidJson(parseError.errorString(), parseError.offset);
    if (!document.isObject())
        throw badInstallResponse(answer.status);
    const QJsonObject object = document.object();
    const QJsonValue installId = object.value(QStringLiteral("installId"));
    const QJsonValue token = object.value(QStringLiteral("installToken"));
    const QJsonValue tunnelId = object.value(QStringLiteral("tunnelId"));
    const QJsonValue credentials = object.value(QStringLiteral("credentials"));
    if (!installId.isString() || !token.isString() || !tunnelId.isString() ||
        !credentials.isObject() || !isPlainFileName(tunnelId.toString()))
        throw badInstallResponse(answer.status);
    const QJsonValue domain = object.value(QStringLiteral("domain"));

    const Install install{installId.toString(), token.toString(), tunnelId.toString(),
                          domain.isString() ? domain.toString()
                                            : QString::fromLatin1(Provisioner::defaultLinkDomain)};
    return {install, QJsonDocument(credentials.toObject()).toJson(QJsonDocument::Compact)};
}

void writeInstallFiles(const Provisioner& provisioner, const Install& install,
                       const QByteArray& credentials) {
    // Credentials first and config.yml last: the install counts as present only once
    // config.yml exists, so a failure in between leaves it absent and the next install
    // overwrites the rest.
    Provisioner::writeSecure(credentials,
                             provisioner.fileURL(install.tunnelId + QStringLiteral(".json")));
    Provisioner::writeSecure(install.toJson(), provisioner.installURL());
    Provisioner::writeSecure(TunnelConfig::render(TunnelConfig::baseConfig(install.tunnelId)),
                             provisioner.configURL());
}

// Built outside the coroutine: GCC 12 cannot keep an initializer list in a coroutine frame.
QMap<QString, QString> deviceHeaders() {
    return {{QStringLiteral("X-Skerrow-Device"), deviceHash()}};
}

QCoro::Task<> runInstall(Provisioner self, CancelToken cancel) {
    self.ensureSupportDir();
    const HttpAnswer answer =
        co_await self.request(QStringLiteral("POST"), QStringLiteral("/v1/install"), std::nullopt,
                              std::nullopt, deviceHeaders(), cancel);
    const auto [install, credentials] = readInstallAnswer(answer);
    writeInstallFiles(self, install, credentials);
}

QCoro::Task<> runDeleteInstall(Provisioner self, CancelToken cancel) {
    std::optional<Install> install;
    try {
        install = self.loadInstall();
    } catch (const ProvisionError&) {
        // Nothing the service could be told about: clean up locally only.
        self.clearLocal();
        co_return;
    }
    const HttpAnswer answer = co_await self.request(
        QStringLiteral("DELETE"), QStringLiteral("/v1/install"), install, std::nullopt, {}, cancel);
    // 401: the service no longer knows the install, which is as good as deleted.
    if (answer.status != statusOK && answer.status != statusUnauthorized)
        throw ProvisionError::api(answer.status, utf8OrEmpty(answer.body));
    self.clearLocal();
}

} // namespace

QCoro::Task<> Provisioner::install(CancelToken cancel) const {
    return runInstall(*this, std::move(cancel));
}

bool Provisioner::isProvisioned() const {
    return QFileInfo::exists(installURL()) && QFileInfo::exists(configURL());
}

Install Provisioner::loadInstall() const {
    QFile file(installURL());
    if (!file.open(QIODevice::ReadOnly))
        throw ProvisionError::notInstalled();
    const std::optional<Install> install = Install::fromJson(file.readAll());
    if (!install)
        throw ProvisionError::notInstalled();
    return *install;
}

QCoro::Task<> Provisioner::deleteInstall(CancelToken cancel) const {
    return runDeleteInstall(*this, std::move(cancel));
}

void Provisioner::clearLocal() const noexcept {
    // Best effort throughout: the walk takes error codes (never the throwing increment), and
    // anything else that escapes, such as an allocation failure, is dropped.
    try {
        std::error_code ignored;
        for (const QString& name : localFileNames)
            fs::remove(fs::path(QFile::encodeName(fileURL(name)).toStdString()), ignored);

        // Every credentials file, of this tunnel and of any earlier one. Not recursive: a
        // directory of that name is left alone unless it is empty.
        const fs::path dir(QFile::encodeName(supportDir_).toStdString());
        std::error_code walk;
        for (fs::directory_iterator entry(dir, walk); !walk && entry != fs::directory_iterator();
             entry.increment(walk)) {
            const QString name = QFile::decodeName(entry->path().filename().c_str());
            if (name != QLatin1String("install.json") && hasJsonExtension(name))
                fs::remove(entry->path(), ignored);
        }
    } catch (...) {
        // Nothing more can be removed; what is left goes with the next clean-up.
    }
}
