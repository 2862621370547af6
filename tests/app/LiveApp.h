#pragma once

#include "Fixtures.h"
#include "LocalService.h"
#include "app/AppState.h"
#include "app/LinksFile.h"
#include "router/LinkRouter.h"
#include "service/Settle.h"
#include "support/Wait.h"

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>

inline QStringList hostsOf(const QList<ShareLink>& links) {
    QStringList hosts;
    for (const ShareLink& link : links)
        hosts.append(link.host);
    return hosts;
}

// An installed app against the local link service: the install is made before the app starts,
// links can be minted at the service and saved as the app's own, and the app's clock can be
// moved ahead of the real one.
class LiveApp : public ::testing::Test {
protected:
    // A persistent service keeps its installs and links across a restart.
    virtual bool persistentService() const { return false; }

    void SetUp() override {
        ASSERT_TRUE(persistentService() ? service.startPersistent() : service.start());
        provisioner = Provisioner(dir.filePath(QStringLiteral("support")), service.apiBase());
        ASSERT_TRUE(settle(provisioner.install()).ok());
    }

    std::unique_ptr<AppState>
    startApp(std::chrono::milliseconds scanInterval = std::chrono::seconds(2)) {
        AppState::Options options;
        options.scanner = [this] {
            ++scans;
            return PortScanner::ScanResult(scanned, listPorts ? PortScanner::listenPorts().value_or(
                                                                    QList<PortScanner::Listener>{})
                                                              : QList<PortScanner::Listener>{});
        };
        options.scanInterval = scanInterval;
        options.clock = [this] { return QDateTime::currentDateTimeUtc().addSecs(clockAhead); };
        options.supportDir = provisioner.supportDir();
        options.apiBase = provisioner.apiBase();
        options.router = appRouter;
        options.tunnelExecutable = tunnelExecutable;
        options.metricsPort = metricsPort ? *metricsPort : freePort();
        options.systemBus = systemBus;
        return std::make_unique<AppState>(std::move(options));
    }

    // A link minted at the service for an app of `project` on `port`, as the app records it.
    ShareLink mint(qint64 port = 3000, const char* project = "shop") {
        const auto minted = settle(provisioner.mint(port));
        EXPECT_TRUE(minted.ok());
        if (!minted.ok())
            return {};
        return {
            minted.value->host, port,
            QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(minted.value->expiresAt), Qt::UTC),
            QString::fromUtf8(project)};
    }

    QString linksURL() const { return provisioner.fileURL(QStringLiteral("links.json")); }
    void saveLinks(const QList<ShareLink>& links) const {
        Provisioner::writeSecure(*LinksFile::encode(links), linksURL());
    }
    QByteArray linksFile() const {
        QFile file(linksURL());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QJsonArray apiRequests() const {
        const HttpResult result =
            httpCall("GET", service.control(QStringLiteral("/requests?scope=api")));
        return result.json().value(QStringLiteral("requests")).toArray();
    }
    qsizetype apiCalls() const { return apiRequests().size(); }
    // The paths of the service calls with this method whose path starts with `prefix`.
    QStringList calls(const char* method, const QString& prefix) const {
        QStringList paths;
        for (const QJsonValue& entry : apiRequests()) {
            const QJsonObject request = entry.toObject();
            const QString path = request.value(QStringLiteral("path")).toString();
            if (request.value(QStringLiteral("method")).toString() == QLatin1String(method) &&
                path.startsWith(prefix))
                paths.append(path);
        }
        return paths;
    }
    QStringList linkEnds() const { return calls("DELETE", QStringLiteral("/v1/links/")); }
    qsizetype listings() const { return calls("GET", QStringLiteral("/v1/links")).size(); }

    static QJsonObject fault(const char* method, const QString& path, QJsonObject what) {
        what.insert(QStringLiteral("method"), QString::fromLatin1(method));
        what.insert(QStringLiteral("path"), path);
        return what;
    }
    static QJsonObject status(int code, int count = 1) {
        return {{QStringLiteral("status"), code}, {QStringLiteral("count"), count}};
    }
    static QJsonObject hang(int count) {
        return {{QStringLiteral("hang"), true}, {QStringLiteral("count"), count}};
    }
    static QJsonObject delay(double seconds, int count) {
        return {{QStringLiteral("delay"), seconds}, {QStringLiteral("count"), count}};
    }

    LocalService service;
    QTemporaryDir dir;
    Provisioner provisioner;
    LinkRouter router{freePort(), systemClock()};
    // The app's router: one on a free port, unless a test needs public requests to arrive.
    LinkRouter* appRouter = &router;
    QList<PortRow> scanned;
    // Whether the scans also hand over the machine's real port listing.
    bool listPorts = false;
    // How many scans have started.
    std::atomic<int> scans{0};
    // Empty means a free port.
    std::optional<quint16> metricsPort;
    qint64 clockAhead = 0;
    QString tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
    std::optional<QDBusConnection> systemBus;
};
