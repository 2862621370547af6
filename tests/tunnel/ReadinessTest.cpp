// The readiness query against cloudflared's metrics server.
#include "ServiceFixture.h"
#include "tunnel/Tunnel.h"

#include <QElapsedTimer>

namespace {

// Far above the 0.3 s time-out, far below anything a hang would take.
constexpr qint64 boundMs = 3000;

TEST(ReadinessTest, NothingListeningOrNoAnswerGivesNothingQuickly) {
    const ClosedPort closed;
    const Tunnel absent(std::nullopt, closed.port());
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(await(absent.metrics(QStringLiteral("/ready"))));
    EXPECT_FALSE(await(absent.isReady()));

    TestServer garbled;
    garbled.setMode(TestServer::Mode::garbage);
    EXPECT_FALSE(await(Tunnel(std::nullopt, garbled.port()).metrics(QStringLiteral("/ready"))));

    TestServer hung;
    hung.setMode(TestServer::Mode::silent);
    const Tunnel waiting(std::nullopt, hung.port());
    EXPECT_FALSE(await(waiting.metrics(QStringLiteral("/ready"))));
    EXPECT_LT(clock.elapsed(), boundMs);

    // The client may give up before the server's thread has read the request. Qt's network
    // thread closes the connection after it has handled everything queued before the time-out,
    // so the process does not end with the earlier requests' clean-up still waiting there.
    EXPECT_TRUE(hung.waitForRequests(1));
    EXPECT_TRUE(waitUntil([&] { return hung.openConnections() == 0; }));
}

TEST(ReadinessTest, ReturnsStatusAndBodyAndIsReadyOnlyOn200) {
    TestServer server;
    const Tunnel tunnel(std::nullopt, server.port());

    server.answer(503, "1 connection pending");
    const auto answer = await(tunnel.metrics(QStringLiteral("/ready")));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503);
    EXPECT_EQ(answer->body, QStringLiteral("1 connection pending"));
    EXPECT_FALSE(await(tunnel.isReady()));

    server.answer(200, "{\"readyConnections\":1}");
    EXPECT_TRUE(await(tunnel.isReady()));

    const RecordedRequest request = server.requests().back();
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/ready");
}

} // namespace
