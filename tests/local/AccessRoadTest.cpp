// A link with a passphrase through the whole road: public edge, tunnel client, LinkRouter, app.
// Also the router's refusal of a request that did not come through the tunnel.
#include "LocalParties.h"
#include "platform/Clock.h"
#include "router/LinkRouter.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace {

const QByteArray passphrase = "maple-otter-lantern-brook";

QByteArray headerOf(const QByteArray& answer, const QByteArray& name) {
    const QByteArray head = answer.left(answer.indexOf("\r\n\r\n"));
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return line.sliced(name.size() + 1).trimmed();
    }
    return {};
}

class AccessRoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(origin.listen());
        ASSERT_TRUE(service.start(dir.filePath(QStringLiteral("state.json"))));
        const quint16 metricsPort = freePort();
        const InstallFiles install = installInto(service, dir.path(), metricsPort, routerPort);
        ASSERT_TRUE(tunnel.start(dir.path()));
        ASSERT_TRUE(waitUntil([&] {
            return httpCall("GET", QStringLiteral("http://127.0.0.1:%1/ready").arg(metricsPort))
                       .status == 200;
        }));
        edgePort = mintEdgePort(service, install);
        ASSERT_NE(edgePort, 0);
        host = QStringLiteral("localhost:%1").arg(edgePort);
        router.setRoutes({RouteRule{host, origin.port()}});
        router.setAccess(QByteArray(32, 'k'),
                         {LinkAccess{host, QString::fromUtf8(passphrase), QStringLiteral("Shop")}});
        ASSERT_TRUE(router.isListening());
    }

    QByteArray visit(const QByteArray& request) { return rawExchange(edgePort, request); }

    QTemporaryDir dir;
    RecordingOrigin origin{"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nthe-app-1"};
    ServiceProcess service;
    TunnelProcess tunnel;
    quint16 routerPort = freePort();
    LinkRouter router{routerPort, systemClock()};
    quint16 edgePort = 0;
    QString host;
};

TEST_F(AccessRoad, LoginThenTheAppWithoutOurCookieOrCredentials) {
    const QByteArray form = "next=%2Fcart&passphrase=" + passphrase;
    const QByteArray loggedIn = visit("POST /.skerrow/login HTTP/1.1\r\nHost: x\r\nContent-Type: "
                                      "application/x-www-form-urlencoded\r\nContent-Length: " +
                                      QByteArray::number(form.size()) + "\r\n\r\n" + form);
    ASSERT_TRUE(loggedIn.startsWith("HTTP/1.1 303 ")) << loggedIn.constData();
    EXPECT_EQ(headerOf(loggedIn, "Location"), "/cart");
    const QByteArray setCookie = headerOf(loggedIn, "Set-Cookie");
    const QByteArray cookie = setCookie.left(setCookie.indexOf(';'));

    const QByteArray page =
        visit("GET /cart HTTP/1.1\r\nHost: x\r\nCookie: a=1; " + cookie + "\r\n\r\n");
    EXPECT_TRUE(page.endsWith("the-app-1")) << page.constData();
    const QByteArray basic = visit("GET /api HTTP/1.1\r\nHost: x\r\nAuthorization: Basic " +
                                   ("curl:" + passphrase).toBase64() + "\r\n\r\n");
    EXPECT_TRUE(basic.endsWith("the-app-1")) << basic.constData();
    const QByteArray wrong = visit("GET /api HTTP/1.1\r\nHost: x\r\nAuthorization: Basic " +
                                   QByteArray("curl:nope").toBase64() + "\r\n\r\n");
    EXPECT_TRUE(wrong.startsWith("HTTP/1.1 401 ")) << wrong.constData();

    ASSERT_EQ(origin.received.size(), 2);
    EXPECT_TRUE(origin.received[0].contains("\r\nCookie: a=1\r\n"));
    for (const QByteArray& received : origin.received) {
        EXPECT_FALSE(received.contains("skerrow_access"));
        EXPECT_FALSE(received.contains("Authorization"));
    }
}

TEST_F(AccessRoad, RequestsThatSkipTheTunnelAreRefused) {
    // What a page that rebound its name to loopback sends, with the routing header forged.
    for (const QByteArray& hostLine :
         {QByteArray("evil.example:20242"), "127.0.0.1:" + QByteArray::number(routerPort)}) {
        const QByteArray answer =
            rawExchange(routerPort, "GET / HTTP/1.1\r\nHost: " + hostLine + "\r\nx-skerrow-host: " +
                                        host.toUtf8() + "\r\nAuthorization: Basic " +
                                        ("u:" + passphrase).toBase64() + "\r\n\r\n");
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 421 ")) << answer.constData();
    }
    EXPECT_TRUE(origin.received.isEmpty());
    // The same request through the tunnel is served.
    EXPECT_TRUE(visit("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Basic " +
                      ("u:" + passphrase).toBase64() + "\r\n\r\n")
                    .endsWith("the-app-1"));
}

TEST_F(AccessRoad, HeadlessChromiumGetsTheLoginPage) {
    if (!chromiumInstalled())
        GTEST_SKIP() << "Debian's chromium is not installed (scripts/setup.sh installs it)";
    const BrowserPage page = headlessPage(QStringLiteral("http://localhost:%1/cart").arg(edgePort));
    ASSERT_TRUE(page.finished);
    EXPECT_TRUE(page.dom.contains("name=\"passphrase\"")) << page.dom.constData();
    EXPECT_TRUE(page.dom.contains("value=\"/cart\"")) << page.dom.constData();
    EXPECT_TRUE(origin.received.isEmpty());
}

} // namespace
