// Reconciling the saved links with the local link service's list at the start of a run.
#include "AppStateTestAccess.h"
#include "LiveApp.h"

#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString installExpired = QStringLiteral("Install expired \u2014 set up sharing again");

QString endOf(const QString& host) {
    return killPath(host);
}

class Reconcile : public LiveApp {
protected:
    // Starts the app and waits until its reconciliation has completed.
    std::unique_ptr<AppState> reconciled(std::chrono::milliseconds scanInterval = 2s) {
        auto app = startApp(scanInterval);
        AppStateTestAccess access(*app);
        EXPECT_TRUE(waitUntil([&] { return access.reconciled(); }, 10s));
        return app;
    }
};

TEST_F(Reconcile, KeepsWhatTheServiceHoldsEndsOrphansAndTakesItsExpiry) {
    ShareLink kept = mint(3000);
    const QDateTime serviceExpiry = kept.expiresAt;
    kept.expiresAt = serviceExpiry.addSecs(-1800);
    const QString orphan = mint(3001).host;
    ShareLink projectless = mint(3002, "");
    const ShareLink unknown{QStringLiteral("localhost:1"), 3003, serviceExpiry,
                            QStringLiteral("x")};
    saveLinks({unknown, kept, projectless});

    const auto app = reconciled(100ms);
    AppStateTestAccess access(*app);
    ASSERT_EQ(hostsOf(app->links()), QStringList{kept.host});
    EXPECT_EQ(app->links()[0].expiresAt, serviceExpiry);
    EXPECT_EQ(access.armedExpiryHosts(), QStringList{kept.host});
    EXPECT_EQ(hostsOf(*LinksFile::decode(linksFile())), QStringList{kept.host});
    // Nothing for the link the service never had.
    QStringList ended = linkEnds();
    ended.sort();
    QStringList orphans{endOf(orphan), endOf(projectless.host)};
    orphans.sort();
    EXPECT_EQ(ended, orphans);
    EXPECT_TRUE(provisioner.pendingKills().isEmpty());

    // Once per run: later refreshes do not list again.
    QTest::qWait(500);
    EXPECT_EQ(listings(), 1);
}

TEST_F(Reconcile, AnExpiryAlreadyPassedStopsTheLink) {
    ShareLink link = mint(3000);
    clockAhead = 3 * 3600;
    link.expiresAt = QDateTime::currentDateTimeUtc().addSecs(4 * 3600);
    saveLinks({link});
    const auto app = reconciled();
    EXPECT_TRUE(waitUntil([&] { return app->links().isEmpty(); }, 5s));
    EXPECT_EQ(linkEnds(), QStringList{endOf(link.host)});
}

TEST_F(Reconcile, AnEmptyRemoteListEmptiesEverything) {
    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(600);
    saveLinks({{QStringLiteral("localhost:1"), 3000, later, QStringLiteral("a")},
               {QStringLiteral("localhost:2"), 3001, later, QStringLiteral("b")}});
    const auto app = reconciled();
    EXPECT_TRUE(app->links().isEmpty());
    EXPECT_TRUE(AppStateTestAccess(*app).armedExpiryHosts().isEmpty());
    EXPECT_EQ(linksFile(), QByteArray("[]"));
    EXPECT_TRUE(linkEnds().isEmpty());
}

TEST_F(Reconcile, AFailedOrphanEndIsQueuedAndTheOthersAreStillTried) {
    const QString first = mint(3000).host;
    const QString second = mint(3001).host;
    const QString third = mint(3002).host;
    service.armFault(fault("DELETE", endOf(first), status(500)));
    const auto app = reconciled();
    QStringList ended = linkEnds();
    ended.sort();
    QStringList all{endOf(first), endOf(second), endOf(third)};
    all.sort();
    EXPECT_EQ(ended, all);
    EXPECT_EQ(provisioner.pendingKills(), QStringList{first});
    EXPECT_TRUE(app->configured());
}

TEST_F(Reconcile, ARejectedOrphanEndClearsTheInstall) {
    const QString orphan = mint(3000).host;
    saveLinks({{QStringLiteral("localhost:1"), 3000, QDateTime::currentDateTimeUtc().addSecs(600),
                QStringLiteral("a")}});
    service.armFault(fault("DELETE", endOf(orphan), status(401)));
    const auto app = reconciled();
    EXPECT_FALSE(app->configured());
    EXPECT_TRUE(app->links().isEmpty());
    EXPECT_EQ(app->statusMessage(), installExpired);
    EXPECT_FALSE(provisioner.isProvisioned());
}

TEST_F(Reconcile, OrphansStayAtTheServiceWhileALinkOperationRuns) {
    const ShareLink mine = mint(3000);
    const QString orphan = mint(3001).host;
    saveLinks({mine});
    service.armFault(fault("GET", QStringLiteral("/v1/links"), delay(1.0, 1)));
    service.armFault(fault("DELETE", endOf(mine.host), delay(3.0, 1)));
    const auto app = startApp();
    app->kill(mine);
    ASSERT_TRUE(app->isBusy());
    ASSERT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 10s));
    EXPECT_TRUE(app->isBusy());
    ASSERT_TRUE(waitUntil([&] { return !app->isBusy(); }, 10s));
    EXPECT_EQ(linkEnds(), QStringList{endOf(mine.host)});
    EXPECT_TRUE(provisioner.pendingKills().isEmpty());
}

TEST_F(Reconcile, AFailedListingShowsItsErrorAndIsRetriedAfterTenSeconds) {
    service.armFault(fault("GET", QStringLiteral("/v1/links"), status(503, 5)));
    const auto app = startApp(50ms);
    ASSERT_TRUE(waitUntil([&] { return listings() == 1 && app->statusMessage(); }, 5s));
    EXPECT_TRUE(app->statusMessage()->contains(QStringLiteral("503")))
        << app->statusMessage()->toStdString();
    // The app's clock stands still meanwhile: many refreshes, no second attempt.
    QTest::qWait(500);
    clockAhead += 9;
    QTest::qWait(300);
    EXPECT_EQ(listings(), 1);
    clockAhead += 1;
    EXPECT_TRUE(waitUntil([&] { return listings() == 2; }, 5s));
    EXPECT_FALSE(AppStateTestAccess(*app).reconciled());
}

TEST_F(Reconcile, AnUnreachableServiceShowsThePlatformsReason) {
    provisioner = Provisioner(provisioner.supportDir(),
                              QStringLiteral("http://127.0.0.1:%1").arg(freePort()));
    const auto app = startApp(50ms);
    ASSERT_TRUE(waitUntil([&] { return app->statusMessage().has_value(); }, 5s));
    EXPECT_TRUE(app->statusMessage()->contains(QStringLiteral("refused"), Qt::CaseInsensitive))
        << app->statusMessage()->toStdString();
}

} // namespace
