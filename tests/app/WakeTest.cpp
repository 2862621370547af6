// Waking from sleep: links that expired meanwhile go, the tunnel starts over.
#include "AppStateTestAccess.h"
#include "LiveApp.h"
#include "support/PrivateSystemBus.h"

using namespace std::chrono_literals;

namespace {

const QString reconnecting = QStringLiteral("Reconnecting\u2026");

class Wake : public LiveApp {
protected:
    // Two links shared; the first one's expiry is half an hour away, the other's two hours.
    std::unique_ptr<AppState> appWithLinks() {
        expiring = mint(3000);
        lasting = mint(3001);
        saveLinks({expiring, lasting});
        auto app = startApp();
        AppStateTestAccess access(*app);
        EXPECT_TRUE(waitUntil([&] { return access.reconciled(); }, 10s));
        EXPECT_TRUE(waitUntil([&] { return app->tunnelSupervisor().isRunning(); }, 10s));
        expiring.expiresAt = QDateTime::currentDateTimeUtc().addSecs(1800);
        access.setLinks({expiring, app->links()[1]});
        return app;
    }

    ShareLink expiring;
    ShareLink lasting;
};

TEST_F(Wake, ALinkThatExpiredDuringSleepIsDroppedQueuedAndEnded) {
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.start());
    systemBus = bus.connection();
    const auto app = appWithLinks();
    const pid_t before = *app->tunnelSupervisor().processId();
    clockAhead = 3600;
    ASSERT_TRUE(bus.emitPrepareForSleep(false));
    ASSERT_TRUE(waitUntil([&] { return app->links().size() == 1; }, 5s));

    EXPECT_EQ(hostsOf(app->links()), QStringList{lasting.host});
    EXPECT_EQ(hostsOf(*LinksFile::decode(linksFile())), QStringList{lasting.host});
    EXPECT_EQ(AppStateTestAccess(*app).armedExpiryHosts(), QStringList{lasting.host});
    EXPECT_FALSE(app->tunnelReady());
    EXPECT_TRUE(app->liveHosts().isEmpty());
    EXPECT_EQ(app->statusMessage(), reconnecting);
    EXPECT_FALSE(app->tunnelSupervisor().isRunning());

    EXPECT_TRUE(waitUntil([&] { return linkEnds() == QStringList{killPath(expiring.host)}; }, 5s));
    EXPECT_TRUE(waitUntil([&] { return provisioner.pendingKills().isEmpty(); }, 5s));
    // The next refresh starts a new client; nothing waits after the wake.
    ASSERT_TRUE(waitUntil([&] { return app->tunnelSupervisor().isRunning(); }, 5s));
    EXPECT_NE(app->tunnelSupervisor().processId(), before);
}

// Timers count only the time awake: a link due soon after a long sleep ends on time.
TEST_F(Wake, ALinkDueShortlyAfterTheSleepEndsOnTime) {
    const ShareLink link = mint(3000);
    saveLinks({link});
    const auto app = startApp();
    ASSERT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 10s));
    ASSERT_EQ(hostsOf(app->links()), QStringList{link.host});
    // The machine slept until two seconds before the link's end.
    clockAhead = QDateTime::currentDateTimeUtc().secsTo(app->links().front().expiresAt) - 2;
    app->handleWake();
    EXPECT_EQ(hostsOf(app->links()), QStringList{link.host});

    ASSERT_TRUE(waitUntil([&] { return app->links().isEmpty(); }, 10s));
    EXPECT_EQ(app->statusMessage(), QStringLiteral("Link expired"));
    EXPECT_TRUE(waitUntil([&] { return linkEnds() == QStringList{killPath(link.host)}; }, 5s));
}

// The panel's Restart does what a wake does.
TEST_F(Wake, WithNoActiveLinkTheStatusLineStaysAsItWas) {
    scanned = {row(3000, "other"), row(3001, "other")};
    const auto app = appWithLinks();
    app->handleWake();
    EXPECT_EQ(app->links().size(), 2);
    EXPECT_FALSE(app->statusMessage());
    EXPECT_TRUE(linkEnds().isEmpty());
}

} // namespace
