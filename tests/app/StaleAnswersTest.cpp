// Answers that were on their way while the tunnel was stopped: they are about the client and
// router that were stopped, not about the ones that run afterwards.
#include "LiveApp.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

using namespace std::chrono_literals;

namespace {

const QString reconnecting = QStringLiteral("Reconnecting\u2026");

QByteArray answer(const char* statusLine) {
    return QByteArray("HTTP/1.1 ") + statusLine +
           "\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
}

// Answers each request, once its head is in, with what `respond` gives at that moment.
class HookedServer : public QObject {
public:
    HookedServer() {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    head_[socket] += socket->readAll();
                    if (!head_[socket].contains("\r\n\r\n"))
                        return;
                    head_.remove(socket);
                    socket->write(respond());
                    socket->disconnectFromHost();
                });
            }
        });
    }
    bool listen() { return server_.listen(QHostAddress::LocalHost); }
    quint16 port() const { return server_.serverPort(); }

    std::function<QByteArray()> respond = [] { return answer("200 OK"); };

private:
    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> head_;
};

// One link whose public address is a server of the test, a tunnel client that only runs, and a
// metrics server of the test in place of the client's.
class StaleAnswers : public LiveApp {
protected:
    void SetUp() override {
        LiveApp::SetUp();
        ASSERT_TRUE(metrics.listen());
        ASSERT_TRUE(edge.listen());
        metricsPort = metrics.port();
        tunnelExecutable = QStringLiteral(SKERROW_TERM_TRAP_PATH);
        // With the service gone the link is never reconciled away; only the test's servers answer.
        service.stop();
        link = {QStringLiteral("127.0.0.1:%1").arg(edge.port()), 3000,
                QDateTime::currentDateTimeUtc().addSecs(3600), QStringLiteral("shop")};
        saveLinks({link});
    }
    // Stops the tunnel the first time `when` holds; true when it did.
    bool stopOnce(const std::function<bool()>& when) {
        if (stopped || !app || !when())
            return false;
        stopped = true;
        app->handleWake();
        return true;
    }
    // The refresh under way has ended and another one has started.
    bool refreshesPass() {
        const int seen = scans;
        return waitUntil([&] { return scans >= seen + 2; }, 5s);
    }

    HookedServer metrics;
    HookedServer edge;
    ShareLink link;
    std::unique_ptr<AppState> app;
    bool stopped = false;
};

TEST_F(StaleAnswers, AReadinessAnswerFromBeforeAStopIsDropped) {
    // Stopped once the failed reconciliation has had its say on the status line.
    metrics.respond = [this] {
        stopOnce([this] { return app->statusMessage().has_value(); });
        return answer("200 OK");
    };
    app = startApp(250ms);
    bool readyAfterStop = false;
    QObject::connect(app.get(), &AppState::changed, app.get(), [&] {
        if (stopped && app->tunnelReady())
            readyAfterStop = true;
    });
    ASSERT_TRUE(waitUntil([&] { return stopped; }, 10s));
    ASSERT_TRUE(refreshesPass());
    EXPECT_FALSE(readyAfterStop);
    EXPECT_EQ(app->statusMessage(), reconnecting);
}

TEST_F(StaleAnswers, AProbeFromBeforeAStopDoesNotProveTheLinkLive) {
    scanned = {row(3000, "shop")};
    metrics.respond = [] { return answer("503 Service Unavailable"); };
    // The first probe is answered "live" after the stop; every later one finds no tunnel.
    edge.respond = [this] {
        return stopOnce([] { return true; }) ? answer("200 OK") : answer("530 Origin Error");
    };
    app = startApp(250ms);
    bool liveAfterStop = false;
    QObject::connect(app.get(), &AppState::changed, app.get(), [&] {
        if (stopped && app->liveHosts().contains(link.host))
            liveAfterStop = true;
    });
    ASSERT_TRUE(waitUntil([&] { return stopped; }, 10s));
    ASSERT_TRUE(refreshesPass());
    EXPECT_FALSE(liveAfterStop);
}

} // namespace
