// The supervisor with the local link service and the local tunnel client.
#include "SupervisorFixture.h"

namespace {

constexpr auto readyWithin = std::chrono::seconds(10);

class TunnelRoadTest : public SupervisorFixture {};

TEST_F(TunnelRoadTest, AfterAnInstallTheLaunchedClientBecomesReady) {
    ServiceProcess service;
    ASSERT_TRUE(service.start(supportDir() + QStringLiteral("/service-state.json")))
        << service.output().toStdString();
    const Provisioner provisioner(supportDir(), service.api(QString()));
    await(provisioner.install());

    // No executable given: the helper beside the app, the local tunnel client, is launched.
    Tunnel& tunnel = makeTunnel(std::nullopt);
    tunnel.start({});
    ASSERT_TRUE(tunnel.isRunning());
    const bool ready = waitUntil(
        [&] {
            const auto answer = await(tunnel.metrics(QStringLiteral("/ready")));
            return answer && answer->status == 200;
        },
        readyWithin);
    EXPECT_TRUE(ready) << log().toStdString();

    // The local client ends on SIGTERM, long before the SIGKILL would be due.
    const pid_t pid = *tunnel.processId();
    tunnel.stop();
    EXPECT_TRUE(waitUntil([&] { return !processExists(pid); }, std::chrono::seconds(1)));
}

} // namespace
