// The whole public road on loopback: edge -> tunnel -> origin, with both programs as processes.
#include "LocalParties.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QWebSocket>
#include <QWebSocketServer>
#include <csignal>
#include <gtest/gtest.h>

namespace {

const QByteArray originAnswer = "HTTP/1.1 201 Created\r\nContent-Length: 11\r\nX-Origin: yes\r\n"
                                "Connection: close\r\n\r\nhello\0world";

int readyStatus(quint16 metricsPort) {
    return httpCall("GET", QStringLiteral("http://127.0.0.1:%1/ready").arg(metricsPort), {}, {},
                    1000)
        .status;
}

class TunnelPath : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(origin.listen());
        ASSERT_TRUE(service.start(dir.filePath(QStringLiteral("state.json"))));
        metricsPort = freePort();
        install = installInto(service, dir.path(), metricsPort, origin.port());
        ASSERT_TRUE(tunnel.start(dir.path()));
        ASSERT_TRUE(waitUntil([&] { return readyStatus(metricsPort) == 200; }))
            << tunnel.log().constData();
        edgePort = mintEdgePort(service, install);
        ASSERT_NE(edgePort, 0);
    }

    QTemporaryDir dir;
    RecordingOrigin origin{QByteArray(originAnswer.constData(), originAnswer.size() + 1)};
    ServiceProcess service;
    TunnelProcess tunnel;
    InstallFiles install;
    quint16 metricsPort = 0;
    quint16 edgePort = 0;
};

TEST_F(TunnelPath, ARequestReachesTheOriginWithTheEdgeHeadersAndItsAnswerComesBackByteForByte) {
    const QByteArray request =
        "POST /cart?x=1 HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(edgePort) +
        "\r\nX-Custom: Kept As Is\r\nx-skerrow-host: spoofed.example\r\n"
        "CF-Connecting-IP: 198.51.100.1\r\nContent-Length: 4\r\n\r\nbody";
    const QByteArray answer = rawExchange(edgePort, request);
    EXPECT_EQ(answer, QByteArray(originAnswer.constData(), originAnswer.size() + 1));

    ASSERT_EQ(origin.received.size(), 1);
    const QByteArray got = origin.received[0];
    const QByteArray host = "localhost:" + QByteArray::number(edgePort);
    EXPECT_TRUE(got.startsWith("POST /cart?x=1 HTTP/1.1\r\n")) << got.constData();
    EXPECT_TRUE(got.contains("\r\nX-Custom: Kept As Is\r\n"));
    EXPECT_TRUE(got.contains("\r\nx-skerrow-host: " + host + "\r\n"));
    // The Host is the link's name, whichever address the visitor used for it.
    EXPECT_TRUE(got.contains("\r\nHost: " + host + "\r\n")) << got.constData();
    EXPECT_FALSE(got.contains("127.0.0.1:"));
    EXPECT_TRUE(got.contains("\r\ncf-connecting-ip: 127.0.0.1\r\n"));
    // What the visitor claimed under the edge's own names does not pass.
    EXPECT_FALSE(got.contains("spoofed.example"));
    EXPECT_FALSE(got.contains("198.51.100.1"));
    EXPECT_TRUE(got.endsWith("\r\n\r\nbody"));
}

TEST_F(TunnelPath, LargeBodiesStreamBothWaysIntact) {
    QByteArray payload(6 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
    RecordingOrigin echo{"HTTP/1.1 200 OK\r\nContent-Length: " +
                         QByteArray::number(payload.size()) + "\r\n\r\n" + payload};
    ASSERT_TRUE(echo.listen());
    // Point a second install's tunnel at the large origin.
    QTemporaryDir other;
    const quint16 otherMetrics = freePort();
    const InstallFiles second = installInto(service, other.path(), otherMetrics, echo.port());
    TunnelProcess otherTunnel;
    ASSERT_TRUE(otherTunnel.start(other.path()));
    ASSERT_TRUE(waitUntil([&] { return readyStatus(otherMetrics) == 200; }));
    const quint16 port = mintEdgePort(service, second);
    const QByteArray answer =
        rawExchange(port,
                    "PUT /up HTTP/1.1\r\nContent-Length: " + QByteArray::number(payload.size()) +
                        "\r\n\r\n" + payload,
                    30000);
    EXPECT_TRUE(answer.endsWith(payload)) << answer.size();
    ASSERT_EQ(echo.received.size(), 1);
    EXPECT_TRUE(echo.received[0].endsWith(payload));
}

TEST_F(TunnelPath, AWebSocketSessionPassesFramesBothWays) {
    QWebSocketServer wsServer(QStringLiteral("origin"), QWebSocketServer::NonSecureMode);
    ASSERT_TRUE(wsServer.listen(QHostAddress::LocalHost));
    QTemporaryDir other;
    const quint16 otherMetrics = freePort();
    const InstallFiles second =
        installInto(service, other.path(), otherMetrics, wsServer.serverPort());
    TunnelProcess otherTunnel;
    ASSERT_TRUE(otherTunnel.start(other.path()));
    ASSERT_TRUE(waitUntil([&] { return readyStatus(otherMetrics) == 200; }));
    const quint16 port = mintEdgePort(service, second);

    QByteArray upgradeHost;
    QObject::connect(&wsServer, &QWebSocketServer::newConnection, [&] {
        QWebSocket* peer = wsServer.nextPendingConnection();
        peer->setParent(&wsServer);
        upgradeHost = peer->request().rawHeader("x-skerrow-host");
        QObject::connect(peer, &QWebSocket::textMessageReceived,
                         [peer](const QString& text) { peer->sendTextMessage(text.toUpper()); });
        QObject::connect(peer, &QWebSocket::binaryMessageReceived,
                         [peer](const QByteArray& data) { peer->sendBinaryMessage(data + data); });
        peer->sendTextMessage(QStringLiteral("welcome"));
    });
    QWebSocket client;
    QStringList texts;
    QByteArray binary;
    QObject::connect(&client, &QWebSocket::textMessageReceived,
                     [&](const QString& t) { texts << t; });
    QObject::connect(&client, &QWebSocket::binaryMessageReceived,
                     [&](const QByteArray& b) { binary = b; });
    client.open(QUrl(QStringLiteral("ws://localhost:%1/socket").arg(port)));
    ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.sendTextMessage(QStringLiteral("ping"));
    client.sendBinaryMessage(QByteArray("\x00\x01", 2));
    ASSERT_TRUE(waitUntil([&] { return texts.size() == 2 && !binary.isEmpty(); }));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("welcome"), QStringLiteral("PING")}));
    EXPECT_EQ(binary, QByteArray("\x00\x01\x00\x01", 4));
    EXPECT_EQ(upgradeHost, "localhost:" + QByteArray::number(port));
    client.close();
}

TEST_F(TunnelPath, TheEdgeAnswersForEndedLinksMissingTunnelsAndUnreachableOrigins) {
    const auto statusLine = [](const QByteArray& answer) {
        return answer.left(answer.indexOf("\r\n"));
    };
    const QByteArray get = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";

    ASSERT_EQ(httpCall("POST", service.control(QStringLiteral("/faults")),
                       R"({"scope":"edge","path":"/busy","status":503,"body":"busy"})")
                  .status,
              200);
    const QByteArray busy = rawExchange(edgePort, "GET /busy HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(busy.startsWith("HTTP/1.1 503 ") && busy.endsWith("\r\n\r\nbusy"))
        << busy.constData();
    EXPECT_TRUE(origin.received.isEmpty());

    const quint16 ending = mintEdgePort(service, install);
    ASSERT_EQ(
        httpCall("POST", service.control(QStringLiteral("/links/localhost:%1/end").arg(ending)))
            .status,
        200);
    const QByteArray ended = rawExchange(ending, get);
    EXPECT_TRUE(ended.contains("\r\nx-skerrow-status: ended\r\n")) << ended.constData();

    RecordingOrigin gone{""};
    ASSERT_TRUE(gone.listen());
    const quint16 gonePort = gone.port();
    QTemporaryDir other;
    const quint16 otherMetrics = freePort();
    const InstallFiles second = installInto(service, other.path(), otherMetrics, gonePort);
    TunnelProcess otherTunnel;
    ASSERT_TRUE(otherTunnel.start(other.path()));
    ASSERT_TRUE(waitUntil([&] { return readyStatus(otherMetrics) == 200; }));
    const quint16 port = mintEdgePort(service, second);
    gone.close();
    EXPECT_EQ(statusLine(rawExchange(port, get)), "HTTP/1.1 522 Origin Connection Time-out");

    otherTunnel.process().terminate();
    ASSERT_TRUE(otherTunnel.process().waitForFinished(3000));
    EXPECT_EQ(statusLine(rawExchange(port, get)), "HTTP/1.1 530 Origin Unreachable");
    EXPECT_FALSE(rawExchange(port, get).contains("x-skerrow-status"));
}

TEST_F(TunnelPath, TheClientReconnectsAfterTheServiceRestarts) {
    const quint16 api = service.apiPort, control = service.controlPort,
                  tunnelPort = service.tunnelPort;
    service.stop();
    EXPECT_TRUE(waitUntil([&] { return readyStatus(metricsPort) == 503; }));
    ServiceProcess again;
    ASSERT_TRUE(
        again.start(dir.filePath(QStringLiteral("state.json")), {}, api, control, tunnelPort));
    EXPECT_TRUE(waitUntil([&] { return readyStatus(metricsPort) == 200; }))
        << tunnel.log().constData();
    const QByteArray answer = rawExchange(edgePort, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 201 Created")) << answer.constData();
}

TEST_F(TunnelPath, SigtermEndsTheClientWithinASecond) {
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    ::kill(static_cast<pid_t>(tunnel.process().processId()), SIGTERM);
    ASSERT_TRUE(tunnel.process().waitForFinished(1000));
    EXPECT_LT(QDateTime::currentMSecsSinceEpoch() - start, 1000);
    EXPECT_EQ(tunnel.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tunnel.process().exitCode(), 0);
    EXPECT_TRUE(tunnel.log().contains("connected tunnel"));
}

TEST(TunnelClientCommandLine, OnlyTheRunCommandIsAccepted) {
    QProcess help;
    help.start(QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("tunnel --config PATH --no-autoupdate run"));

    const QString c = QStringLiteral("config.yml");
    const QList<QStringList> wrong{
        {},
        {QStringLiteral("tunnel"), QStringLiteral("run")},
        {QStringLiteral("tunnel"), QStringLiteral("--config"), c, QStringLiteral("run")},
        {QStringLiteral("tunnel"), QStringLiteral("--no-autoupdate"), QStringLiteral("--config"), c,
         QStringLiteral("run")},
        {QStringLiteral("tunnel"), QStringLiteral("--config"), c, QStringLiteral("--no-autoupdate"),
         QStringLiteral("run"), QStringLiteral("x")},
        {QStringLiteral("update")}};
    for (const QStringList& args : wrong) {
        QProcess bad;
        bad.start(QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH), args);
        ASSERT_TRUE(bad.waitForFinished(5000));
        EXPECT_EQ(bad.exitCode(), 2) << args.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(TunnelClientConfiguration, ABadConfigurationEndsTheClientWithAReason) {
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QLatin1String(name)));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    };
    const QByteArray creds = R"({"tunnelId":"T","secret":"s","endpoint":"127.0.0.1:1"})";
    const struct {
        const char* name;
        QByteArray config;
        QByteArray reason;
    } cases[] = {
        {"yaml", "tunnel: T\n", "not valid JSON"},
        {"array", "[]", "does not hold an object"},
        {"no metrics",
         R"({"tunnel":"T","credentials-file":"T.json","ingress":[{"service":"http://127.0.0.1:2"}]})",
         "metrics"},
        {"two rules",
         R"({"tunnel":"T","credentials-file":"T.json","metrics":"127.0.0.1:3","ingress":[{"hostname":"a","service":"http://127.0.0.1:2"},{"service":"http://127.0.0.1:2"}]})",
         "catch-all"},
        {"missing credentials",
         R"({"tunnel":"T","credentials-file":"none.json","metrics":"127.0.0.1:3","ingress":[{"service":"http://127.0.0.1:2"}]})",
         "cannot read"},
        {"other tunnel",
         R"({"tunnel":"U","credentials-file":"T.json","metrics":"127.0.0.1:3","ingress":[{"service":"http://127.0.0.1:2"}]})",
         "another tunnel"},
    };
    write("T.json", creds);
    for (const auto& c : cases) {
        write("config.yml", c.config);
        QProcess client;
        client.setWorkingDirectory(dir.path());
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QStringLiteral(SKERROW_TUNNEL_CLIENT_PATH),
                     {QStringLiteral("tunnel"), QStringLiteral("--config"),
                      QStringLiteral("config.yml"), QStringLiteral("--no-autoupdate"),
                      QStringLiteral("run")});
        ASSERT_TRUE(client.waitForFinished(5000)) << c.name;
        EXPECT_EQ(client.exitCode(), 1) << c.name;
        EXPECT_TRUE(client.readAll().contains(c.reason)) << c.name;
    }
}

} // namespace
