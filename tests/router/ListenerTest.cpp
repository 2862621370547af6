// The router's listener: it listens only while it has routes, retries a taken port every second,
// and leaves accepted connections alone when it stops.
#include "BindCounter.h"
#include "RouterFixture.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QTcpSocket>

using namespace std::chrono_literals;
using routertest::requestHead;

namespace {

bool accepts(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(2000);
}

TEST(Listener, TakesAHeldPortWithinAboutASecondOfItBeingFreed) {
    routertest::ManualClock clock;
    routertest::TestApp app;
    const quint16 port = routertest::freePort();
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, port));
    LinkRouter router(port, clock.clock());

    router.setRoutes({RouteRule{QStringLiteral("a.test"), app.port()}});
    EXPECT_FALSE(router.isListening());
    EXPECT_FALSE(waitUntil([&] { return router.isListening(); }, 1500ms));

    holder.close();
    QElapsedTimer freed;
    freed.start();
    ASSERT_TRUE(waitUntil([&] { return router.isListening(); }, 3000ms));
    EXPECT_LT(freed.elapsed(), 2000);
    EXPECT_EQ(routertest::exchange(port, requestHead({"x-skerrow-host: a.test"})).received,
              app.relayedResponse);
}

// The app sets the routes every 2 seconds: while another program holds the port, each call may
// try the port once, but the retries a second apart must not multiply with the calls.
TEST(Listener, KeepsOneRestartPendingHoweverOftenTheRoutesAreSet) {
    routertest::ManualClock clock;
    routertest::TestApp app;
    const quint16 port = routertest::freePort();
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, port));
    LinkRouter router(port, clock.clock());
    const BindCounter binds(port);
    const QList<RouteRule> routes = {RouteRule{QStringLiteral("a.test"), app.port()}};

    constexpr int calls = 10;
    for (int i = 0; i < calls; ++i)
        router.setRoutes(routes);
    EXPECT_EQ(binds.count(), calls);
    // One retry a second: two or three in 2.5 s, not one per call.
    EXPECT_FALSE(waitUntil([&] { return binds.count() > calls + 3; }, 2500ms));
    EXPECT_GT(binds.count(), calls);

    holder.close();
    router.setRoutes(routes);
    EXPECT_TRUE(router.isListening());
    // The restart still pending finds the listener and leaves it alone.
    const int listeningAfter = binds.count();
    EXPECT_FALSE(waitUntil([&] { return binds.count() > listeningAfter; }, 1500ms));
    EXPECT_TRUE(router.isListening());
    EXPECT_EQ(routertest::exchange(port, requestHead({"x-skerrow-host: a.test"})).received,
              app.relayedResponse);
}

TEST(Listener, GivesUpRetryingOnceTheRoutesAreGone) {
    routertest::ManualClock clock;
    const quint16 port = routertest::freePort();
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::Any, port));
    LinkRouter router(port, clock.clock());
    router.setRoutes({RouteRule{QStringLiteral("a.test"), 1}});
    router.setRoutes({});
    holder.close();
    EXPECT_FALSE(waitUntil([&] { return router.isListening(); }, 1500ms));
    EXPECT_FALSE(accepts(port));
}

TEST_F(RouterFixture, EmptyRoutesStopListeningBeforeSetRoutesReturns) {
    router->setRoutes({});
    EXPECT_FALSE(router->isListening());
    EXPECT_FALSE(accepts(routerPort));

    router->setRoutes({RouteRule{host, app.port()}});
    EXPECT_TRUE(router->isListening());
    EXPECT_TRUE(accepts(routerPort));

    router->stop();
    EXPECT_FALSE(router->isListening());
    EXPECT_FALSE(accepts(routerPort));
}

TEST_F(RouterFixture, HostsDifferingInLetterCaseMakeOneRouteWithTheLaterPort) {
    routertest::TestApp second;
    router->setRoutes({RouteRule{QStringLiteral("Shop.Example.Test"), app.port()},
                       RouteRule{QStringLiteral("shop.EXAMPLE.test"), second.port()}});
    EXPECT_EQ(send(requestHead({"x-skerrow-host: shop.example.test"})).received,
              second.relayedResponse);
    EXPECT_EQ(app.connections(), 0);
    EXPECT_EQ(second.connections(), 1);
}

TEST_F(RouterFixture, StoppingLeavesRequestsInProgressRunning) {
    QTcpSocket* held = nullptr;
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) { held = socket; };
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, routerPort);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(requestHead({"x-skerrow-host: shop.example.test"}));
    ASSERT_TRUE(waitUntil([&] { return held != nullptr; }));

    router->stop();
    EXPECT_FALSE(accepts(routerPort));
    held->write(app.response);
    held->disconnectFromHost();
    QByteArray received;
    ASSERT_TRUE(waitUntil([&] {
        received += client.readAll();
        return client.state() == QAbstractSocket::UnconnectedState;
    }));
    received += client.readAll();
    EXPECT_EQ(received, app.relayedResponse);
}

} // namespace
