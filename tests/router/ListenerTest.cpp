// The router's listener: it listens only while it has routes, retries a taken port every second,
// and leaves accepted connections alone when it stops.
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
