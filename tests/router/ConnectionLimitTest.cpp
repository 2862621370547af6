// The router's defence against visitors who hold connections open: a bound on connections that
// leaves the listener up, and time limits on reading a request head that never touch a request
// once it is forwarded.
#include "RouterTestKit.h"
#include "router/LinkRouter.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using routertest::requestHead;

namespace {

const QString host = QStringLiteral("limits.test");

// A client connection that records what it receives and how long it lived.
struct Client {
    explicit Client(quint16 port) {
        QObject::connect(&socket, &QIODevice::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QAbstractSocket::disconnected, [this] {
            if (socket.isOpen())
                received += socket.readAll();
            lifetime = age.elapsed();
            closed = true;
        });
        age.start();
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    QTcpSocket socket;
    QElapsedTimer age;
    QByteArray received;
    qint64 lifetime = -1;
    bool closed = false;
};

// Clients that send the start of a head and then one more byte every 100 ms, never finishing it.
class Tricklers {
public:
    Tricklers() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (Client* client : clients_)
                if (client->socket.state() == QAbstractSocket::ConnectedState)
                    client->socket.write("a");
        });
        timer_.start(100);
    }
    void add(Client& client) {
        client.socket.write(
            "GET / HTTP/1.1\r\nHost: limits.test\r\nx-skerrow-host: limits.test\r\nx-slow: ");
        clients_.push_back(&client);
    }

private:
    QTimer timer_;
    std::vector<Client*> clients_;
};

bool allClosed(const std::vector<std::unique_ptr<Client>>& clients) {
    return std::all_of(clients.begin(), clients.end(), [](const auto& c) { return c->closed; });
}

TEST(ConnectionLimits, BoundStaysWithinTheDescriptorLimit) {
    for (const qint64 descriptors : {qint64{1}, qint64{64}, qint64{1024}, qint64{1048576}}) {
        const ConnectionLimits limits = ConnectionLimits::forDescriptorLimit(descriptors);
        EXPECT_GE(limits.maxConnections, 1);
        EXPECT_LE(limits.maxConnections, ConnectionLimits::defaultMaxConnections);
        if (descriptors >= 64) {
            EXPECT_LE(limits.maxConnections * ConnectionLimits::descriptorsPerConnection,
                      descriptors * 3 / 4)
                << descriptors;
        }
    }
    EXPECT_EQ(ConnectionLimits::forDescriptorLimit(1048576).maxConnections,
              ConnectionLimits::defaultMaxConnections);
}

bool allSettled(const std::vector<std::unique_ptr<Client>>& clients) {
    return std::all_of(clients.begin(), clients.end(), [](const auto& c) {
        return c->closed || c->socket.state() == QAbstractSocket::ConnectedState;
    });
}

// An app that holds every request until the test lets it answer.
struct HoldingApp {
    HoldingApp() {
        app.onRequest = [this](QTcpSocket* socket, const QByteArray&) { held.push_back(socket); };
    }
    void answer(std::size_t index) {
        held[index]->write(app.response);
        held[index]->disconnectFromHost();
    }
    routertest::TestApp app;
    std::vector<QTcpSocket*> held;
};

// A router on a free port that serves at most `maxConnections` at once, routing "limits.test"
// to `appPort`.
struct BoundedRouter {
    BoundedRouter(int maxConnections, quint16 appPort)
        : router(port, systemClock(), [maxConnections] {
              ConnectionLimits limits;
              limits.maxConnections = maxConnections;
              return limits;
          }()) {
        router.setRoutes({RouteRule{host, appPort}});
    }
    const quint16 port = routertest::freePort();
    LinkRouter router;
};

const QByteArray ordinaryHead = requestHead({"x-skerrow-host: limits.test"});

TEST(ConnectionLimits, AtTheBoundOfForwardedRequestsNewConnectionsWaitUntilOthersEnd) {
    HoldingApp holding;
    BoundedRouter bounded(2, holding.app.port());
    const quint16 port = bounded.port;

    Client first(port);
    Client second(port);
    for (Client* client : {&first, &second})
        client->socket.write(ordinaryHead);
    ASSERT_TRUE(waitUntil([&] { return holding.held.size() == 2; }));
    Client waiting(port);
    ASSERT_TRUE(waiting.socket.waitForConnected(5000));
    waiting.socket.write(ordinaryHead);
    EXPECT_FALSE(waitUntil([&] { return holding.held.size() > 2 || waiting.closed; }, 500ms));
    EXPECT_TRUE(bounded.router.isListening());

    holding.answer(0);
    ASSERT_TRUE(waitUntil([&] { return first.closed && holding.held.size() == 3; }));
    EXPECT_EQ(first.received, routertest::TestApp::relayedResponse);
    holding.answer(2);
    ASSERT_TRUE(waitUntil([&] { return waiting.closed; }));
    EXPECT_EQ(waiting.received, routertest::TestApp::relayedResponse);
    EXPECT_FALSE(second.closed);
}

// At the bound the oldest connection that has not sent its whole head makes room for a new one;
// forwarded requests are never given up for it.
TEST(ConnectionLimits, AtTheBoundTheOldestUnfinishedHeadMakesRoom) {
    HoldingApp holding;
    BoundedRouter bounded(4, holding.app.port());
    const quint16 port = bounded.port;

    Client forwarded(port);
    forwarded.socket.write(ordinaryHead);
    ASSERT_TRUE(waitUntil([&] { return holding.held.size() == 1; }));
    Client silent(port);
    Client halfHead(port);
    halfHead.socket.write("GET / HTTP/1.1\r\nHost: limits.test\r\nx-skerrow-host: limits.test\r\n");
    Client youngerSilent(port);
    for (Client* client : {&silent, &halfHead, &youngerSilent})
        ASSERT_TRUE(client->socket.waitForConnected(5000));
    ASSERT_TRUE(waitUntil([&] { return halfHead.socket.bytesToWrite() == 0; }));

    Client second(port);
    second.socket.write(ordinaryHead);
    ASSERT_TRUE(waitUntil([&] { return holding.held.size() == 2 && silent.closed; }, 1s));
    EXPECT_TRUE(silent.received.isEmpty());
    Client third(port);
    third.socket.write(ordinaryHead);
    ASSERT_TRUE(waitUntil([&] { return holding.held.size() == 3 && halfHead.closed; }, 1s));
    EXPECT_TRUE(halfHead.received.isEmpty());
    EXPECT_FALSE(youngerSilent.closed);
    EXPECT_FALSE(forwarded.closed);

    holding.answer(0);
    ASSERT_TRUE(waitUntil([&] { return forwarded.closed; }));
    EXPECT_EQ(forwarded.received, routertest::TestApp::relayedResponse);
}

// Far more silent connections than the bound, as from someone holding every link down: an
// ordinary visitor is still answered at once, not after the head time limits.
TEST(ConnectionLimits, SilentConnectionsFarBeyondTheBoundDoNotDelayAVisitor) {
    routertest::TestApp app;
    constexpr int bound = 8;
    BoundedRouter bounded(bound, app.port());
    const quint16 port = bounded.port;

    std::vector<std::unique_ptr<Client>> silent;
    for (int i = 0; i < 25 * bound; ++i)
        silent.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(waitUntil([&] { return allSettled(silent); }));

    Client visitor(port);
    visitor.socket.write(ordinaryHead);
    EXPECT_TRUE(waitUntil([&] { return visitor.closed; }, 1s));
    EXPECT_EQ(visitor.received, app.relayedResponse);
}

TEST(ConnectionLimits, HeadsStillArrivingShareOneMemoryBudget) {
    routertest::TestApp app;
    const quint16 port = routertest::freePort();
    ConnectionLimits limits;
    limits.headBudget = 96 * 1024;
    LinkRouter router(port, systemClock(), limits);
    router.setRoutes({RouteRule{host, app.port()}});
    const QByteArray start =
        "GET / HTTP/1.1\r\nHost: limits.test\r\nx-skerrow-host: limits.test\r\nx-big: ";

    // One head can stay below its own limit and still pass what all heads may hold.
    Client flood(port);
    flood.socket.write(start + QByteArray(200 * 1024, 'a'));
    ASSERT_TRUE(waitUntil([&] { return flood.closed; }));
    EXPECT_TRUE(flood.received.startsWith("HTTP/1.1 400 Bad Request\r\n"));
    EXPECT_TRUE(flood.received.endsWith("header too large"));

    // The refused head gave its share back: a large but ordinary head goes through.
    Client large(port);
    large.socket.write(start + QByteArray(80 * 1024, 'a') + "\r\n\r\n");
    ASSERT_TRUE(waitUntil([&] { return large.closed; }));
    EXPECT_EQ(large.received, app.relayedResponse);
}

TEST(ConnectionLimits, HeadsThatStallOrTrickleAreGivenUpButForwardedRequestsRunOn) {
    routertest::TestApp app;
    constexpr auto idleTimeout = 300ms;
    constexpr auto deadline = 900ms;
    // The app answers long after both limits have passed.
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) {
        QTimer::singleShot(2 * deadline, socket, [socket, &app] {
            socket->write(app.response);
            socket->disconnectFromHost();
        });
    };
    const quint16 port = routertest::freePort();
    ConnectionLimits limits;
    limits.headIdleTimeout = idleTimeout;
    limits.headDeadline = deadline;
    LinkRouter router(port, systemClock(), limits);
    router.setRoutes({RouteRule{host, app.port()}});

    Client silent(port);
    Client halfHead(port);
    halfHead.socket.write("GET / HTTP/1.1\r\nHost: limits.test\r\nx-skerrow-host: limits.test\r\n");
    Client trickling(port);
    Tricklers tricklers;
    tricklers.add(trickling);
    Client forwarded(port);
    forwarded.socket.write(requestHead({"x-skerrow-host: limits.test"}));

    ASSERT_TRUE(waitUntil(
        [&] { return silent.closed && halfHead.closed && trickling.closed && forwarded.closed; }));
    EXPECT_GE(silent.lifetime, idleTimeout.count());
    EXPECT_GE(halfHead.lifetime, idleTimeout.count());
    EXPECT_GE(trickling.lifetime, deadline.count());
    for (const Client* given : {&silent, &halfHead, &trickling})
        EXPECT_TRUE(given->received.isEmpty());
    EXPECT_EQ(forwarded.received, app.relayedResponse);
}

constexpr int hostDescriptorLimit = 128;
constexpr qint64 hostIdleMs = 1000;
constexpr qint64 hostDeadlineMs = 2000;

// Starts the router in its own process with a descriptor limit of 128 and short head time
// limits, routing "limits.test" to `appPort`; `extra` may override its connection bound.
bool startRouterHost(QProcess& process, quint16 port, quint16 appPort,
                     const QStringList& extra = {}) {
    process.start(QStringLiteral(SKERROW_ROUTER_HOST_PATH),
                  QStringList{QString::number(port), QString::number(appPort),
                              QString::number(hostDescriptorLimit), QString::number(hostIdleMs),
                              QString::number(hostDeadlineMs)} +
                      extra);
    return process.waitForReadyRead(10000) && process.readAllStandardOutput() == "listening\n";
}

// Far more idle and trickling connections than the router's descriptor limit, then an ordinary
// request, which must still be answered.
TEST(ConnectionLimits, ConnectionsBeyondTheDescriptorLimitDoNotTakeTheRouterDown) {
    routertest::TestApp app;
    const quint16 port = routertest::freePort();
    QProcess routerProcess;
    ASSERT_TRUE(startRouterHost(routerProcess, port, app.port()))
        << routerProcess.readAllStandardError().constData();

    std::vector<std::unique_ptr<Client>> idle;
    std::vector<std::unique_ptr<Client>> trickling;
    Tricklers tricklers;
    for (int i = 0; i < hostDescriptorLimit; ++i) {
        idle.push_back(std::make_unique<Client>(port));
        if (i % 2 == 0) {
            trickling.push_back(std::make_unique<Client>(port));
            tricklers.add(*trickling.back());
        }
    }
    ASSERT_TRUE(waitUntil([&] { return allSettled(trickling); }));
    Client ordinary(port);
    ordinary.socket.write(requestHead({"x-skerrow-host: limits.test"}));

    ASSERT_TRUE(
        waitUntil([&] { return ordinary.closed && allClosed(idle) && allClosed(trickling); }, 60s));
    EXPECT_EQ(ordinary.received, app.relayedResponse);
    for (const auto* clients : {&idle, &trickling})
        for (const auto& client : *clients)
            EXPECT_TRUE(client->received.isEmpty());
    EXPECT_EQ(routerProcess.state(), QProcess::Running);
    routerProcess.terminate();
    routerProcess.waitForFinished(5000);
}

// With a connection bound the descriptors cannot honour, accepting runs out of descriptors:
// the listener must stay up and serve again once the idle connections are given up.
TEST(ConnectionLimits, RunningOutOfDescriptorsLeavesTheListenerUp) {
    routertest::TestApp app;
    const quint16 port = routertest::freePort();
    QProcess routerProcess;
    ASSERT_TRUE(startRouterHost(routerProcess, port, app.port(), {QStringLiteral("1000")}))
        << routerProcess.readAllStandardError().constData();
    // A whole request first: a sanitizer's type check opens a pipe the first time it meets a
    // type, which the rest of this test leaves the router no descriptor for.
    ASSERT_EQ(routertest::exchange(port, requestHead({"x-skerrow-host: limits.test"})).received,
              app.relayedResponse);

    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 2 * hostDescriptorLimit; ++i)
        idle.push_back(std::make_unique<Client>(port));
    ASSERT_TRUE(waitUntil([&] { return allSettled(idle); }));
    Client latecomer(port);
    EXPECT_TRUE(latecomer.socket.waitForConnected(5000));

    ASSERT_TRUE(waitUntil([&] { return allClosed(idle) && latecomer.closed; }, 60s));
    const routertest::Exchange ordinary =
        routertest::exchange(port, requestHead({"x-skerrow-host: limits.test"}));
    EXPECT_EQ(ordinary.received, app.relayedResponse);
    EXPECT_EQ(routerProcess.state(), QProcess::Running)
        << routerProcess.readAllStandardError().constData();
    routerProcess.terminate();
    routerProcess.waitForFinished(5000);
}

} // namespace
