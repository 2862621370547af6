// Links whose lifetime is over are stopped, also when their stop first meets another operation.
#include "AppStateTestAccess.h"
#include "LiveApp.h"

using namespace std::chrono_literals;

namespace {

const QString linkExpired = QStringLiteral("Link expired");

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

class Expiry : public LiveApp {
protected:
    std::unique_ptr<AppState> reconciled() {
        auto app = startApp();
        EXPECT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 10s));
        return app;
    }
};

TEST_F(Expiry, AnExpiryDuringAnotherStopIsCarriedOutOnceThatStopEnds) {
    const ShareLink stopped = mint(3000);
    saveLinks({stopped});
    const auto app = reconciled();
    AppStateTestAccess access(*app);
    ShareLink expiring = mint(3001);
    expiring.expiresAt = QDateTime::currentDateTimeUtc().addMSecs(500);
    const ShareLink lasting = mint(3002);
    service.armFault(fault("DELETE", killPath(stopped.host), delay(3.0, 1)));

    app->kill(app->links().front());
    ASSERT_TRUE(app->isBusy());
    access.adoptLink(expiring);
    access.adoptLink(lasting);
    // The user's own stop meets the same operation and stays dropped.
    app->kill(lasting);
    ASSERT_TRUE(waitUntil([&] { return app->statusMessage() == linkExpired; }, 5s));
    EXPECT_TRUE(app->isBusy());

    ASSERT_TRUE(waitUntil([&] { return app->links().size() == 1 && !app->isBusy(); }, 10s));
    EXPECT_EQ(hostsOf(app->links()), QStringList{lasting.host});
    EXPECT_EQ(sorted(linkEnds()), sorted({killPath(stopped.host), killPath(expiring.host)}));
    EXPECT_EQ(access.armedExpiryHosts(), QStringList{lasting.host});
    EXPECT_TRUE(provisioner.pendingKills().isEmpty());
}

TEST_F(Expiry, EveryLinkTheServiceGivesAPassedExpiryIsStopped) {
    QList<ShareLink> saved{mint(3000), mint(3001), mint(3002)};
    // The service's expiry lies two hours ahead; the app's clock stands three hours ahead.
    clockAhead = 3 * 3600;
    for (ShareLink& link : saved)
        link.expiresAt = QDateTime::currentDateTimeUtc().addSecs(4 * 3600);
    saveLinks(saved);
    const auto app = reconciled();
    ASSERT_TRUE(waitUntil([&] { return app->links().isEmpty() && !app->isBusy(); }, 10s));
    QStringList ends;
    for (const ShareLink& link : saved)
        ends.append(killPath(link.host));
    EXPECT_EQ(sorted(linkEnds()), sorted(ends));
    EXPECT_EQ(linksFile(), QByteArray("[]"));
}

} // namespace
