// Quitting by the user or the system, and the reset, against the local link service.
#include "AppStateTestAccess.h"
#include "LiveApp.h"

#include <QElapsedTimer>
#include <QTest>
#include <csignal>

using namespace std::chrono_literals;

namespace {

bool processExists(pid_t pid) {
    return ::kill(pid, 0) == 0;
}

class Quit : public LiveApp {
protected:
    // Links shared and the app started on them with its tunnel client running.
    std::unique_ptr<AppState> appWithLinks(int count) {
        QList<ShareLink> links;
        for (int i = 0; i < count; ++i) {
            links.append(mint(3000 + i));
            hosts.append(links.back().host);
        }
        saveLinks(links);
        auto app = startApp();
        EXPECT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 10s));
        EXPECT_TRUE(waitUntil([&] { return app->tunnelSupervisor().isRunning(); }, 10s));
        EXPECT_EQ(app->links().size(), count);
        return app;
    }
    QStringList ends() const {
        QStringList paths;
        for (const QString& host : hosts)
            paths.append(killPath(host));
        return paths;
    }

    QStringList hosts;
};

TEST_F(Quit, WithNoLinksItReturnsAtOnceAndSendsNothing) {
    const auto app = startApp();
    ASSERT_TRUE(waitUntil([&] { return app->tunnelSupervisor().isRunning(); }, 10s));
    const pid_t client = *app->tunnelSupervisor().processId();
    QElapsedTimer elapsed;
    elapsed.start();
    app->shutdownSync(3.0);
    EXPECT_LT(elapsed.elapsed(), 700);
    EXPECT_TRUE(linkEnds().isEmpty());
    EXPECT_FALSE(processExists(client));
}

TEST_F(Quit, EndsEveryLinkAtOnceAndLeavesNoQueueWhenTheyAllSucceed) {
    const auto app = appWithLinks(2);
    service.armFault(fault("DELETE", QStringLiteral("/v1/links/*"), delay(1.0, 2)));
    QElapsedTimer elapsed;
    elapsed.start();
    app->shutdownSync(3.0);
    // One second each, in parallel.
    EXPECT_GE(elapsed.elapsed(), 950);
    EXPECT_LT(elapsed.elapsed(), 1900);
    EXPECT_EQ(linkEnds(), ends());
    EXPECT_FALSE(QFile::exists(provisioner.pendingKillsURL()));
    EXPECT_TRUE(app->links().isEmpty());
    EXPECT_EQ(linksFile(), QByteArray("[]"));
    EXPECT_FALSE(app->tunnelSupervisor().isRunning());
}

TEST_F(Quit, AServiceThatNeverAnswersHoldsTheQuitForThreeSecondsAndTheNextStartEndsThem) {
    auto app = appWithLinks(2);
    service.armFault(fault("DELETE", QStringLiteral("/v1/links/*"), hang(2)));
    QElapsedTimer elapsed;
    elapsed.start();
    app->shutdownSync(3.0);
    EXPECT_GE(elapsed.elapsed(), 2900);
    EXPECT_LT(elapsed.elapsed(), 4000);
    EXPECT_EQ(provisioner.pendingKills(), hosts);
    app.reset();

    const auto next = startApp();
    // Ended by the replay of the queue (or by reconciliation, which finds them orphaned).
    EXPECT_TRUE(waitUntil(
        [&] {
            const auto remaining = settle(provisioner.links());
            return remaining.ok() && remaining.value->links.isEmpty();
        },
        10s));
}

TEST_F(Quit, NoTunnelClientOutlivesTheQuitEvenOneThatTrapsSigterm) {
    tunnelExecutable = QStringLiteral(SKERROW_TERM_TRAP_PATH);
    const auto app = appWithLinks(1);
    const pid_t client = *app->tunnelSupervisor().processId();
    app->shutdownSync(3.0);
    EXPECT_FALSE(processExists(client));
}

TEST_F(Quit, ASystemQuitKeepsTheLinksForTheNextStart) {
    auto app = appWithLinks(2);
    const QStringList shared = hostsOf(app->links());
    const QByteArray saved = linksFile();
    const qsizetype callsBefore = apiCalls();
    const pid_t client = *app->tunnelSupervisor().processId();
    app->suspendForSystemQuit();
    EXPECT_FALSE(processExists(client));
    EXPECT_TRUE(AppStateTestAccess(*app).armedExpiryHosts().isEmpty());
    app.reset();
    EXPECT_EQ(linksFile(), saved);
    EXPECT_EQ(apiCalls(), callsBefore);
    EXPECT_FALSE(QFile::exists(provisioner.pendingKillsURL()));

    const auto next = startApp();
    EXPECT_EQ(hostsOf(next->links()), shared);
    EXPECT_TRUE(waitUntil([&] { return AppStateTestAccess(*next).reconciled(); }, 10s));
    EXPECT_EQ(hostsOf(next->links()), shared);
    EXPECT_EQ(listings(), 2);
}

TEST_F(Quit, AResetEndsEveryLinkAtOnceWithinThreeSecondsAndDeletesTheInstall) {
    const auto app = appWithLinks(3);
    service.armFault(fault("DELETE", QStringLiteral("/v1/links/*"), hang(3)));
    QElapsedTimer elapsed;
    elapsed.start();
    app->reset();
    ASSERT_TRUE(waitUntil([&] { return linkEnds().size() == 3; }, 2s));
    EXPECT_LT(elapsed.elapsed(), 1000);
    // The app is unconfigured from the reset's first step; its end removes the local install.
    ASSERT_TRUE(waitUntil([&] { return !provisioner.isProvisioned(); }, 10s));
    EXPECT_GE(elapsed.elapsed(), 2900);
    EXPECT_LT(elapsed.elapsed(), 4500);
    EXPECT_EQ(calls("DELETE", QStringLiteral("/v1/install")).size(), 1);
    EXPECT_FALSE(provisioner.isProvisioned());
    EXPECT_FALSE(QFile::exists(provisioner.pendingKillsURL()));
    EXPECT_TRUE(app->links().isEmpty());
    EXPECT_FALSE(app->statusMessage());
}

TEST_F(Quit, AResetRemovesTheLocalInstallWhenTheServiceRefusesToDeleteIt) {
    const auto app = appWithLinks(1);
    service.armFault(fault("DELETE", QStringLiteral("/v1/install"), status(500)));
    app->reset();
    // The app is unconfigured from the reset's first step; its end removes the local install.
    ASSERT_TRUE(waitUntil([&] { return !provisioner.isProvisioned(); }, 10s));
    EXPECT_FALSE(provisioner.isProvisioned());
    EXPECT_EQ(calls("DELETE", QStringLiteral("/v1/install")).size(), 1);
}

} // namespace
