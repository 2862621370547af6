// Sharing, renewing and stopping links against the local link service, the local tunnel client
// and the real router, with a real origin behind them.
#include "AppStateTestAccess.h"
#include "Fixtures.h"
#include "LocalService.h"
#include "app/AppState.h"
#include "platform/Clipboard.h"
#include "router/LinkRouter.h"
#include "service/Settle.h"
#include "support/Wait.h"

#include <QFile>
#include <QMutex>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString installExpired = QStringLiteral("Install expired \u2014 set up sharing again");

class Sharing : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(origin.listen());
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, TunnelConfig::routerPort))
            << "the router's port is taken";
    }

    // Starts the service with the given options and registers an install with it.
    void install(const QStringList& serviceOptions = {}) {
        ASSERT_TRUE(service.start(serviceOptions));
        provisioner = Provisioner(dir.filePath(QStringLiteral("support")), service.apiBase());
        ASSERT_TRUE(settle(provisioner.install()).ok());
    }

    // The app, finding the origin under `project`; with a long interval only the first scan
    // refresh runs, so nothing but the test changes the state afterwards.
    AppState& startApp(std::chrono::milliseconds interval = 500ms) {
        setProject(QStringLiteral("shop"));
        AppState::Options options;
        options.scanner = [this] {
            const QMutexLocker lock(&rowsMutex);
            return std::optional<QList<PortRow>>(rows);
        };
        options.supportDir = dir.filePath(QStringLiteral("support"));
        options.apiBase = service.apiBase();
        options.router = &router;
        options.tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
        options.metricsPort = freePort();
        options.scanInterval = interval;
        state = std::make_unique<AppState>(std::move(options));
        EXPECT_TRUE(waitUntil([&] { return !state->rows().isEmpty(); }));
        return *state;
    }
    void setProject(const QString& project) {
        const QMutexLocker lock(&rowsMutex);
        rows = {row(origin.port(), project.toUtf8().constData())};
    }
    // Shares the origin and waits until the share has ended.
    ShareLink shareOrigin() {
        state->share(state->rows().front());
        EXPECT_TRUE(waitUntil([&] { return !state->isBusy(); }, 70s));
        EXPECT_FALSE(state->links().isEmpty());
        return state->links().isEmpty() ? ShareLink{} : state->links().back();
    }
    QByteArray linksFile() const {
        QFile file(dir.filePath(QStringLiteral("support/links.json")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    qsizetype mints() const {
        return service.apiRequests(QStringLiteral("POST"), QStringLiteral("/v1/links"));
    }
    AppStateTestAccess access() const { return AppStateTestAccess(*state); }

    RecordingOrigin origin{
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello"};
    LocalService service;
    QTemporaryDir dir;
    Provisioner provisioner;
    // On the port the tunnel client's ingress names, so public requests reach the origin.
    LinkRouter router{static_cast<quint16>(TunnelConfig::routerPort), systemClock()};
    QMutex rowsMutex;
    QList<PortRow> rows;
    std::unique_ptr<AppState> state;
};

TEST_F(Sharing, AShareIsRecordedProvenLiveCopiedAndServesVisitors) {
    install();
    AppState& app = startApp();
    ASSERT_TRUE(waitUntil([&] { return app.tunnelReady(); }, 15s));

    app.share(app.rows().front());
    EXPECT_TRUE(app.isBusy());
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Creating link\u2026"));
    ASSERT_TRUE(waitUntil([&] { return app.links().size() == 1; }));
    const ShareLink link = app.links().front();
    EXPECT_EQ(link.port, origin.port());
    EXPECT_EQ(link.project, QStringLiteral("shop"));
    EXPECT_FALSE(app.statusMessage());
    EXPECT_TRUE(linksFile().contains(link.host.toUtf8()));
    EXPECT_EQ(access().armedExpiryHosts(), QStringList{link.host});
    EXPECT_EQ(access().activeRules(), (QList<RouteRule>{{link.host, link.port}}));

    ASSERT_TRUE(waitUntil([&] { return app.copiedHost() == link.host; }, 65s));
    EXPECT_TRUE(app.liveHosts().contains(link.host));
    EXPECT_EQ(clipboardText(), publicURL(link.host));
    EXPECT_FALSE(app.isBusy());
    EXPECT_TRUE(waitUntil([&] { return !app.copiedHost(); }, 3s));

    // The probe reached the origin but is no visitor; a real request is.
    EXPECT_EQ(router.visitors(link.host).active, 0);
    const HttpResult visit = httpCall("GET", publicURL(link.host) + QStringLiteral("/"));
    EXPECT_EQ(visit.status, 200);
    EXPECT_EQ(visit.body, "hello");
    EXPECT_EQ(router.visitors(link.host).active, 1);
    EXPECT_GE(origin.received.size(), 2);
}

TEST_F(Sharing, RequestsThatCannotRunNowAreDroppedWithoutARequest) {
    install();
    AppState& app = startApp();

    // A port with no app: nothing to renew.
    app.refresh(ShareLink{QStringLiteral("gone.localhost"), freePort(), {}, {}});
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Port not running"));
    EXPECT_FALSE(app.isBusy());

    // While a share runs, a second share, a renewal and a stop change nothing.
    app.share(app.rows().front());
    app.share(app.rows().front());
    const ShareLink other{QStringLiteral("other.localhost"), origin.port(),
                          QDateTime::currentDateTimeUtc().addSecs(600), QStringLiteral("shop")};
    app.refresh(other);
    app.kill(other);
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Creating link\u2026"));
    ASSERT_TRUE(waitUntil([&] { return !app.isBusy(); }, 70s));
    EXPECT_EQ(app.links().size(), 1);
    EXPECT_EQ(mints(), 1);
    EXPECT_TRUE(service.endRequests().isEmpty());
}

TEST_F(Sharing, WithoutAnInstallAShareAsksNothing) {
    ASSERT_TRUE(service.start());
    AppState::Options options;
    options.scanner = [] { return std::optional<QList<PortRow>>(QList<PortRow>{}); };
    options.supportDir = dir.filePath(QStringLiteral("support"));
    options.apiBase = service.apiBase();
    options.router = &router;
    options.scanInterval = 1h;
    AppState app(std::move(options));
    app.share(row(origin.port(), "shop"));
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Tunnel not ready yet"));
    EXPECT_FALSE(app.isBusy());
    ASSERT_TRUE(waitUntil([&] { return app.configured(); }));
    EXPECT_EQ(mints(), 0);
}

TEST_F(Sharing, ARenewalBelongsToThePortsAppNowAndQueuesAnOldHostItCouldNotEnd) {
    install();
    AppState& app = startApp();
    const ShareLink old = shareOrigin();

    setProject(QStringLiteral("blog"));
    ASSERT_TRUE(waitUntil([&] { return app.rows().front().project() == QStringLiteral("blog"); }));
    service.armFault({{QStringLiteral("method"), QStringLiteral("DELETE")},
                      {QStringLiteral("path"), QStringLiteral("/v1/links/*")},
                      {QStringLiteral("status"), 500}});
    app.refresh(old);
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Refreshing\u2026"));
    ASSERT_TRUE(waitUntil([&] { return !app.isBusy(); }, 70s));
    ASSERT_EQ(app.links().size(), 1);
    const ShareLink renewed = app.links().front();
    EXPECT_NE(renewed.host, old.host);
    EXPECT_EQ(renewed.project, QStringLiteral("blog"));
    EXPECT_EQ(provisioner.pendingKills(), QStringList{old.host});
    EXPECT_FALSE(app.statusMessage());
    EXPECT_EQ(access().armedExpiryHosts(), QStringList{renewed.host});
}

TEST_F(Sharing, FailuresShowTheirDescriptionAndAStopWithoutServiceQueuesTheHost) {
    install();
    AppState& app = startApp();
    service.armFault({{QStringLiteral("method"), QStringLiteral("POST")},
                      {QStringLiteral("path"), QStringLiteral("/v1/links")},
                      {QStringLiteral("status"), 500},
                      {QStringLiteral("body"), QStringLiteral("oops")}});
    app.share(app.rows().front());
    ASSERT_TRUE(waitUntil([&] { return !app.isBusy(); }));
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Server 500: oops"));
    EXPECT_TRUE(app.links().isEmpty());

    const ShareLink link = shareOrigin();
    service.stop();
    app.kill(link);
    ASSERT_TRUE(waitUntil([&] { return !app.isBusy(); }));
    EXPECT_TRUE(app.links().isEmpty());
    EXPECT_EQ(provisioner.pendingKills(), QStringList{link.host});
    ASSERT_TRUE(app.statusMessage());
    EXPECT_TRUE(app.statusMessage()->contains(QStringLiteral("refused"), Qt::CaseInsensitive))
        << app.statusMessage()->toStdString();
    EXPECT_TRUE(access().armedExpiryHosts().isEmpty());
}

TEST_F(Sharing, StoppingALinkTheServiceAlreadyEndedIsAPlainStop) {
    install();
    AppState& app = startApp();
    const ShareLink link = shareOrigin();
    ASSERT_TRUE(settle(provisioner.kill(link.host)).ok());
    app.kill(link);
    ASSERT_TRUE(waitUntil([&] { return app.links().isEmpty() && !app.isBusy(); }));
    EXPECT_FALSE(app.statusMessage()) << app.statusMessage()->toStdString();
    EXPECT_TRUE(provisioner.pendingKills().isEmpty());
}

TEST_F(Sharing, ARejectedInstallDropsEverythingWhicheverOperationMeetsIt) {
    enum class Operation { share, renewal, stop };
    for (const Operation operation : {Operation::share, Operation::renewal, Operation::stop}) {
        SCOPED_TRACE(static_cast<int>(operation));
        service.stop();
        install();
        AppState& app = startApp(1h);
        const ShareLink held{QStringLiteral("held.localhost"), origin.port(),
                             QDateTime::currentDateTimeUtc().addSecs(600), QStringLiteral("shop")};
        access().adoptLink(held);
        service.revoke(provisioner.loadInstall().installId);

        if (operation == Operation::share)
            app.share(app.rows().front());
        else if (operation == Operation::renewal)
            app.refresh(held);
        else
            app.kill(held);
        ASSERT_TRUE(waitUntil([&] { return !app.isBusy(); }));
        EXPECT_EQ(app.statusMessage(), installExpired);
        EXPECT_FALSE(app.configured());
        EXPECT_TRUE(app.links().isEmpty());
        EXPECT_TRUE(access().armedExpiryHosts().isEmpty());
        EXPECT_FALSE(provisioner.isProvisioned());
        EXPECT_FALSE(app.tunnelSupervisor().isRunning());
        state.reset();
    }
}

TEST_F(Sharing, ALinkThatRunsOutShowsLinkExpiredAndIsEndedAtTheService) {
    install({QStringLiteral("--link-lifetime"), QStringLiteral("6")});
    AppState& app = startApp();
    const ShareLink link = shareOrigin();
    ASSERT_TRUE(waitUntil([&] { return app.links().isEmpty(); }, 10s));
    EXPECT_EQ(app.statusMessage(), QStringLiteral("Link expired"));
    EXPECT_EQ(service.endRequests(), QStringList{QStringLiteral("/v1/links/") + link.host});
}

} // namespace

TEST_F(Sharing, APassphraseGuardsTheLinkAcrossARestartAndEndsWithIt) {
    install();
    startApp();
    const ShareLink link = shareOrigin();
    const QString url = publicURL(link.host) + QStringLiteral("/");
    state->protect(link, QStringLiteral(" maple otter "));
    EXPECT_EQ(clipboardText(), publicURL(link.host) + QStringLiteral("\nPassphrase: maple otter"));
    EXPECT_EQ(httpCall("GET", url).status, 401);
    const QMap<QByteArray, QByteArray> basic{
        {"Authorization", "Basic " + QByteArray("me:maple otter").toBase64()}};
    EXPECT_EQ(httpCall("GET", url, {}, basic).body, "hello");

    // The next run hands the same passphrase to the router at its first refresh.
    state.reset();
    router.setAccess({}, {});
    startApp();
    EXPECT_EQ(state->passphrase(link), QStringLiteral("maple otter"));
    ASSERT_TRUE(waitUntil([&] { return state->tunnelReady(); }, 15s));
    EXPECT_EQ(httpCall("GET", url).status, 401);
    EXPECT_EQ(httpCall("GET", url, {}, basic).body, "hello");

    const QString file = dir.filePath(QStringLiteral("support/passphrases.json"));
    EXPECT_TRUE(QFile::exists(file));
    state->kill(link);
    EXPECT_TRUE(waitUntil([&] { return state->links().isEmpty(); }, 10s));
    EXPECT_FALSE(QFile::exists(file));
}
