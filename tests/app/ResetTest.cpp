// A reset against the local link service: from its first step the app is unconfigured, and the
// install that follows it gets a tunnel client of its own.
#include "AppStateTestAccess.h"
#include "LiveApp.h"

using namespace std::chrono_literals;

namespace {

class Reset : public LiveApp {};

TEST_F(Reset, TheAppIsUnconfiguredWhileItRunsAndTheNextInstallGetsItsOwnClient) {
    const ShareLink link = mint(3000);
    saveLinks({link});
    scanned = {row(3000, "shop")};
    const auto app = startApp(250ms);
    ASSERT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 10s));
    ASSERT_TRUE(waitUntil([&] { return app->tunnelReady(); }, 15s));
    // The ends hang, so the reset waits its three seconds for them.
    service.armFault(fault("DELETE", QStringLiteral("/v1/links/*"), hang(1)));
    const qsizetype mints = calls("POST", QStringLiteral("/v1/links")).size();

    app->reset();
    EXPECT_FALSE(app->configured());
    app->share(row(3000, "shop"));
    bool clientDuringReset = false;
    ASSERT_TRUE(waitUntil(
        [&] {
            clientDuringReset = clientDuringReset || app->tunnelSupervisor().isRunning();
            return calls("DELETE", QStringLiteral("/v1/install")).size() == 1;
        },
        10s));
    EXPECT_FALSE(clientDuringReset);
    EXPECT_EQ(calls("POST", QStringLiteral("/v1/links")).size(), mints);

    // A new install, and a client on its credentials that reaches the edge.
    ASSERT_TRUE(waitUntil([&] { return app->configured(); }, 15s));
    EXPECT_TRUE(waitUntil([&] { return app->tunnelReady(); }, 15s));
}

} // namespace
