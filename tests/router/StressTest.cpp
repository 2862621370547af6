// Many concurrent requests while the routes change under them: every request gets a complete
// answer, from the app its host routes to at that moment or the router's 404.
#include "RouterFixture.h"
#include "router/Reply.h"
#include "support/Wait.h"

#include <QTcpSocket>
#include <memory>
#include <vector>

using routertest::requestHead;

namespace {

struct Client {
    QTcpSocket socket;
    QByteArray host;
    QByteArray received;
    bool done = false;
};

TEST(Stress, ConcurrentRequestsWhileRoutesChangeLoseNoResponse) {
    routertest::ManualClock clock;
    routertest::TestApp appA;
    routertest::TestApp appB;
    appA.response = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nA";
    appB.response = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nB";
    const QByteArray answerA = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: close\r\n\r\nA";
    const QByteArray answerB = "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: close\r\n\r\nB";
    const QByteArray notFound = Reply::bytes(404, QStringLiteral("unknown host"));

    const quint16 port = routertest::freePort();
    LinkRouter router(port, clock.clock());
    const QList<QList<RouteRule>> tables = {
        {{QStringLiteral("a.test"), appA.port()}, {QStringLiteral("b.test"), appB.port()}},
        {{QStringLiteral("A.TEST"), appA.port()}, {QStringLiteral("c.test"), appB.port()}},
        {{QStringLiteral("b.test"), appA.port()}, {QStringLiteral("a.Test"), appA.port()}},
    };
    router.setRoutes(tables.front());

    constexpr int rounds = 4;
    constexpr int perRound = 150;
    const QList<QByteArray> hosts = {"a.test", "b.test", "c.test"};
    int completed = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < perRound; ++i) {
            auto client = std::make_unique<Client>();
            Client* c = client.get();
            c->host = hosts[i % hosts.size()];
            QObject::connect(&c->socket, &QAbstractSocket::connected, [c] {
                c->socket.write(requestHead(
                    {"x-skerrow-host: " + c->host,
                     "cf-connecting-ip: 10.0.0." + QByteArray::number(c->host.size())}));
            });
            QObject::connect(&c->socket, &QIODevice::readyRead,
                             [c] { c->received += c->socket.readAll(); });
            QObject::connect(&c->socket, &QAbstractSocket::disconnected, [c] {
                c->received += c->socket.readAll();
                c->done = true;
            });
            c->socket.connectToHost(QHostAddress::LocalHost, port);
            clients.push_back(std::move(client));
        }
        int step = 0;
        const auto allDone = [&] {
            return std::all_of(clients.begin(), clients.end(),
                               [](const auto& c) { return c->done; });
        };
        // Change the routes while the requests run.
        while (!allDone() && step < 200) {
            router.setRoutes(tables[step++ % tables.size()]);
            ASSERT_TRUE(router.isListening());
            waitUntil([] { return false; }, std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(waitUntil(allDone, std::chrono::seconds(30)));
        for (const auto& c : clients) {
            if (c->host == "a.test")
                EXPECT_EQ(c->received, answerA);
            else
                EXPECT_TRUE(c->received == answerA || c->received == answerB ||
                            c->received == notFound)
                    << c->host.constData() << ": " << c->received.constData();
            ++completed;
        }
    }
    EXPECT_EQ(completed, rounds * perRound);
    EXPECT_EQ(router.visitors(QStringLiteral("a.test")).active, 1);
    router.stop();
    EXPECT_FALSE(router.isListening());
}

} // namespace
