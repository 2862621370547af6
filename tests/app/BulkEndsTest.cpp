#include "LocalService.h"
#include "app/AppState.h"
#include "router/LinkRouter.h"
#include "service/Settle.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QJsonObject endFault(const QString& path, const QJsonObject& what) {
    QJsonObject fault = what;
    fault.insert(QStringLiteral("method"), QStringLiteral("DELETE"));
    fault.insert(QStringLiteral("path"), path);
    return fault;
}

class BulkEnds : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.start());
        provisioner = Provisioner(dir.filePath(QStringLiteral("support")), service.apiBase());
        ASSERT_TRUE(settle(provisioner.install()).ok());
    }
    QString mintHost() {
        const auto minted = settle(provisioner.mint(3000));
        EXPECT_TRUE(minted.ok());
        return minted.ok() ? minted.value->host : QString();
    }
    std::unique_ptr<AppState> startApp() {
        AppState::Options options;
        options.scanner = [] { return QList<PortRow>{}; };
        options.supportDir = provisioner.supportDir();
        options.apiBase = provisioner.apiBase();
        options.router = &router;
        options.tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
        options.metricsPort = freePort();
        return std::make_unique<AppState>(std::move(options));
    }

    LocalService service;
    QTemporaryDir dir;
    Provisioner provisioner;
    LinkRouter router{freePort(), systemClock()};
};

TEST_F(BulkEnds, KillRemoteGivesUpAfterItsTimeAndKeepsEveryHostQueued) {
    const auto app = startApp();
    const QStringList hosts{QStringLiteral("a.localhost"), QStringLiteral("b.localhost"),
                            QStringLiteral("c.localhost")};
    provisioner.addPendingKills(hosts);
    service.armFault(endFault(QStringLiteral("/v1/links/*"),
                              {{QStringLiteral("hang"), true}, {QStringLiteral("count"), 3}}));
    QElapsedTimer elapsed;
    elapsed.start();
    settle(app->killRemote(hosts, 3.0));
    EXPECT_GE(elapsed.elapsed(), 2900);
    EXPECT_LE(elapsed.elapsed(), 4500);
    EXPECT_EQ(provisioner.pendingKills(), hosts);
}

TEST_F(BulkEnds, KillEachSendsAllRequestsAtOnceAndDropsTheEndedHosts) {
    const QString first = mintHost();
    const QString second = mintHost();
    const QString unknown = QStringLiteral("nosuch.localhost");
    provisioner.addPendingKills({first, second, unknown});
    service.armFault(endFault(QStringLiteral("/v1/links/*"),
                              {{QStringLiteral("delay"), 1.5}, {QStringLiteral("count"), 3}}));
    QElapsedTimer elapsed;
    elapsed.start();
    const Provisioner client = provisioner;
    QFuture<void> ends = QtConcurrent::run([client, first, second, unknown] {
        AppState::killEach(client, {first, second, unknown});
    });
    // All three arrive before the first is answered.
    ASSERT_TRUE(waitUntil([&] { return service.endRequests().size() == 3; }, 5s));
    EXPECT_LT(elapsed.elapsed(), 1500);
    EXPECT_FALSE(ends.isFinished());
    ends.waitForFinished();
    // A host the service holds no link for is as good as ended.
    EXPECT_EQ(provisioner.pendingKills(), QStringList{});
}

TEST_F(BulkEnds, ReplayStopsAtARejectedInstallAndEmptiesTheQueue) {
    const QString ended = mintHost();
    const QStringList queue{ended, QStringLiteral("b.localhost"), QStringLiteral("c.localhost"),
                            QStringLiteral("d.localhost")};
    provisioner.addPendingKills(queue);
    service.armFault(endFault(
        QStringLiteral("/v1/links/b.localhost"),
        {{QStringLiteral("status"), 500}, {QStringLiteral("body"), QStringLiteral("oops")}}));
    service.armFault(
        endFault(QStringLiteral("/v1/links/c.localhost"), {{QStringLiteral("status"), 401}}));
    const auto app = startApp();
    ASSERT_TRUE(waitUntil([&] { return provisioner.pendingKills().isEmpty(); }, 5s));
    QTest::qWait(500);
    // The replay stopped at the rejection. (Reconciliation may also end the minted link as an
    // orphan of the service's list, so only the queued hosts are counted.)
    QStringList replayed;
    for (const QString& host : queue) {
        if (service.endRequests().contains(killPath(host)))
            replayed.append(host);
    }
    EXPECT_EQ(replayed, queue.mid(0, 3));
}

TEST_F(BulkEnds, ReplayDropsHostsTheServiceNoLongerKnowsAndKeepsFailedOnes) {
    const QString failing = QStringLiteral("b.localhost");
    const QStringList queue{QStringLiteral("gone.localhost"), failing};
    provisioner.addPendingKills(queue);
    service.armFault(endFault(killPath(failing), {{QStringLiteral("status"), 503}}));
    const auto app = startApp();
    ASSERT_TRUE(waitUntil(
        [&] {
            return service.endRequests().contains(killPath(failing)) &&
                   provisioner.pendingKills() == QStringList{failing};
        },
        5s))
        << provisioner.pendingKills().join(QLatin1Char(',')).toStdString();
}

TEST_F(BulkEnds, NothingQueuedSendsNothing) {
    const auto app = startApp();
    QTest::qWait(1000);
    EXPECT_TRUE(service.endRequests().isEmpty());
}

} // namespace
