#include "LocalService.h"
#include "app/AppState.h"
#include "router/LinkRouter.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

AppState::Options appOptions(const QString& supportDir, const QString& apiBase,
                             LinkRouter& router) {
    AppState::Options options;
    options.scanner = [] { return QList<PortRow>{}; };
    options.supportDir = supportDir;
    options.apiBase = apiBase;
    options.router = &router;
    options.tunnelExecutable = QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH);
    options.metricsPort = freePort();
    return options;
}

TEST(Provisioning, FirstRefreshInstallsAndTheTunnelComesUp) {
    LocalService service;
    ASSERT_TRUE(service.start());
    QTemporaryDir dir;
    LinkRouter router(freePort(), systemClock());
    AppState state(appOptions(dir.filePath(QStringLiteral("support")), service.apiBase(), router));
    EXPECT_FALSE(state.configured());

    ASSERT_TRUE(waitUntil([&] { return state.configured(); }, 5s));
    EXPECT_FALSE(state.statusMessage());
    // The next refresh, at most one scan interval later, starts the tunnel client.
    EXPECT_TRUE(waitUntil([&] { return state.tunnelSupervisor().isRunning(); },
                          AppState::Options{}.scanInterval + 1s));
    EXPECT_TRUE(waitUntil([&] { return state.tunnelReady(); }, 15s));
}

TEST(Provisioning, UnreachableServiceIsRetriedEveryTenSeconds) {
    QTemporaryDir dir;
    LinkRouter router(freePort(), systemClock());
    const QString closed = QStringLiteral("http://127.0.0.1:%1").arg(freePort());
    AppState::Options options = appOptions(dir.path(), closed, router);
    options.scanInterval = 250ms;
    AppState state(std::move(options));

    QElapsedTimer clock;
    clock.start();
    QList<qint64> attempts;
    bool wasProvisioning = false;
    QObject::connect(&state, &AppState::changed, [&] {
        if (state.isProvisioning() && !wasProvisioning)
            attempts.append(clock.elapsed());
        wasProvisioning = state.isProvisioning();
    });
    ASSERT_TRUE(waitUntil([&] { return attempts.size() == 2; }, 14s));
    EXPECT_LT(attempts[0], 1000);
    EXPECT_GE(attempts[1] - attempts[0], 9900);
    EXPECT_LE(attempts[1] - attempts[0], 11000);
    ASSERT_TRUE(state.statusMessage());
    EXPECT_TRUE(state.statusMessage()->contains(QStringLiteral("refused"), Qt::CaseInsensitive))
        << state.statusMessage()->toStdString();
    EXPECT_FALSE(state.configured());
}

} // namespace
