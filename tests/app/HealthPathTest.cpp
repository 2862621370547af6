// The whole public path kept alive without the user: a crashed tunnel client and a link service
// that went away and came back.
#include "LiveApp.h"
#include "platform/BuildProfile.h"

#include <csignal>

using namespace std::chrono_literals;

namespace {

class HealthPath : public LiveApp {
protected:
    void SetUp() override {
        appRouter = &ingressRouter;
        LiveApp::SetUp();
        ASSERT_TRUE(origin.listen());
        link = mint(origin.port());
        saveLinks({link});
        scanned = {row(origin.port(), "shop")};
    }

    // The app with its link proven live; `dropped` is set whenever the link leaves the live set.
    std::unique_ptr<AppState> liveApp() {
        auto app = startApp(250ms);
        EXPECT_TRUE(waitUntil([&] { return app->liveHosts().contains(link.host); }, 30s));
        QObject::connect(app.get(), &AppState::changed, app.get(), [this, state = app.get()] {
            if (!state->liveHosts().contains(link.host))
                dropped = true;
        });
        return app;
    }

    // On the port the tunnel client's ingress names, so public requests reach the origin.
    LinkRouter ingressRouter{static_cast<quint16>(TunnelConfig::routerPort), systemClock()};
    RecordingOrigin origin{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok"};
    ShareLink link;
    bool dropped = false;
};

TEST_F(HealthPath, ACrashedTunnelClientIsRelaunchedAndTheLinkProvenLiveAgain) {
    const auto app = liveApp();
    const pid_t crashed = *app->tunnelSupervisor().processId();
    ::kill(crashed, SIGKILL);
    ASSERT_TRUE(waitUntil(
        [&] {
            return app->tunnelSupervisor().isRunning() &&
                   app->tunnelSupervisor().processId() != crashed && app->tunnelReady() &&
                   app->liveHosts().contains(link.host);
        },
        30s));
    // Visitors get through again once the new client has reached the edge.
    const qsizetype served = origin.received.size();
    HttpResult visit;
    EXPECT_TRUE(waitUntil(
        [&] {
            visit = httpCall("GET", QString::fromLatin1(BuildProfile::publicScheme) + link.host +
                                        QStringLiteral("/"));
            return visit.status == 200;
        },
        30s));
    EXPECT_EQ(visit.body, QByteArray("ok"));
    EXPECT_GT(origin.received.size(), served);
    EXPECT_EQ(app->links().size(), 1);
}

class HealthPathAcrossRestarts : public HealthPath {
protected:
    bool persistentService() const override { return true; }
};

TEST_F(HealthPathAcrossRestarts, TheLinkComesBackWhenTheServiceReturnsWithItsState) {
    const auto app = liveApp();
    service.stop();
    ASSERT_TRUE(waitUntil([&] { return dropped; }, 30s));
    ASSERT_TRUE(service.restart());
    EXPECT_TRUE(waitUntil([&] { return app->liveHosts().contains(link.host); }, 60s));
    EXPECT_EQ(hostsOf(app->links()), QStringList{link.host});
}

} // namespace
