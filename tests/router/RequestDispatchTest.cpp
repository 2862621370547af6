// Request heads sent over real TCP through the router: how they are routed, what the app
// receives, and the router's own error answers.
#include "RouterFixture.h"
#include "router/Reply.h"
#include "support/Wait.h"

#include <QTcpSocket>

using routertest::requestHead;

namespace {

const QByteArray unknownHost = "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
                               "Content-Length: 12\r\nConnection: close\r\n\r\nunknown host";

struct RoutingCase {
    const char* name;
    QList<QByteArray> lines;
    bool routed;
};

class Routing : public RouterFixture, public ::testing::WithParamInterface<RoutingCase> {};

TEST_P(Routing, ChoosesTheAppByTheRoutingHeaderOnly) {
    const routertest::Exchange answer = send(requestHead(GetParam().lines));
    ASSERT_TRUE(answer.closed);
    if (GetParam().routed) {
        EXPECT_EQ(answer.received, app.relayedResponse);
        ASSERT_EQ(app.connections(), 1);
        EXPECT_FALSE(app.received().front().toLower().contains("x-skerrow-host"));
    } else {
        EXPECT_EQ(answer.received, unknownHost);
        EXPECT_EQ(app.connections(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Heads, Routing,
    ::testing::Values(
        RoutingCase{"lower_case", {"x-skerrow-host: shop.example.test"}, true},
        RoutingCase{"capitals", {"X-SKERROW-HOST: SHOP.Example.TEST"}, true},
        RoutingCase{"value_trimmed", {"x-skerrow-host:\t shop.example.test \t"}, true},
        RoutingCase{"no_space_after_colon", {"x-skerrow-host:shop.example.test"}, true},
        RoutingCase{"last_line_wins",
                    {"x-skerrow-host: other.test", "x-skerrow-host: shop.example.test"},
                    true},
        RoutingCase{"last_line_wins_even_when_unknown",
                    {"x-skerrow-host: shop.example.test", "x-skerrow-host: other.test"},
                    false},
        RoutingCase{"missing", {"Accept: */*"}, false},
        RoutingCase{"empty_value", {"x-skerrow-host:"}, false},
        RoutingCase{"blank_value", {"x-skerrow-host: \t "}, false},
        RoutingCase{"unknown_host", {"x-skerrow-host: nope.example.test"}, false},
        RoutingCase{"host_line_alone", {"Host: shop.example.test"}, false},
        RoutingCase{"space_before_colon", {"x-skerrow-host : shop.example.test"}, false},
        RoutingCase{"subdomain_is_another_host", {"x-skerrow-host: a.shop.example.test"}, false}),
    [](const auto& param) { return std::string(param.param.name); });

struct TunnelOnlyCase {
    const char* name;
    QList<QByteArray> lines;
    bool routed;
};

// Requests are routed only when their Host names the host they ask for: what the tunnel
// delivers. A page that rebinds its own name to loopback reaches the router with its own Host.
class TunnelOnly : public RouterFixture, public ::testing::WithParamInterface<TunnelOnlyCase> {
protected:
    void SetUp() override {
        RouterFixture::SetUp();
        router->setRoutes({RouteRule{host, app.port()},
                           RouteRule{QStringLiteral("localhost:41000"), app.port()}});
    }
};

TEST_P(TunnelOnly, RefusesRequestsWhoseHostIsNotTheRoutedHost) {
    const routertest::Exchange answer = send(requestHead(GetParam().lines));
    ASSERT_TRUE(answer.closed);
    if (GetParam().routed) {
        EXPECT_EQ(answer.received, app.relayedResponse);
        EXPECT_EQ(app.connections(), 1);
    } else {
        EXPECT_EQ(answer.received, Reply::bytes(421, QStringLiteral("misdirected request")));
        EXPECT_EQ(app.connections(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Heads, TunnelOnly,
    ::testing::Values(
        TunnelOnlyCase{"rebinding_page",
                       {"Host: evil.example:20242", "x-skerrow-host: shop.example.test"},
                       false},
        TunnelOnlyCase{"loopback_address",
                       {"Host: 127.0.0.1:20242", "x-skerrow-host: localhost:41000"},
                       false},
        TunnelOnlyCase{
            "name_with_another_suffix",
            {"Host: shop.example.test.evil.example", "x-skerrow-host: shop.example.test"},
            false},
        TunnelOnlyCase{"empty_host", {"Host:", "x-skerrow-host: shop.example.test"}, false},
        TunnelOnlyCase{
            "second_host_line",
            {"Host: shop.example.test", "Host: evil.example", "x-skerrow-host: shop.example.test"},
            false},
        TunnelOnlyCase{"another_port",
                       {"Host: shop.example.test:20242", "x-skerrow-host: shop.example.test"},
                       false},
        TunnelOnlyCase{"another_port_of_a_host_with_port",
                       {"Host: localhost:41001", "x-skerrow-host: localhost:41000"},
                       false},
        TunnelOnlyCase{
            "same_name", {"Host: shop.example.test", "x-skerrow-host: shop.example.test"}, true},
        TunnelOnlyCase{"letter_case_differs",
                       {"Host: SHOP.example.test", "x-skerrow-host: Shop.Example.TEST"},
                       true},
        TunnelOnlyCase{"default_https_port",
                       {"Host: shop.example.test:443", "x-skerrow-host: shop.example.test"},
                       true},
        TunnelOnlyCase{
            "host_with_port", {"Host: LOCALHOST:41000", "x-skerrow-host: localhost:41000"}, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RouterFixture, RequestWithoutHostIsRefused) {
    EXPECT_EQ(send("GET / HTTP/1.1\r\nx-skerrow-host: shop.example.test\r\n\r\n").received,
              Reply::bytes(421, QStringLiteral("misdirected request")));
    EXPECT_EQ(app.connections(), 0);
}

struct RewriteCase {
    const char* name;
    QList<QByteArray> lines;
    QList<QByteArray> forwarded;
};

class Rewrite : public RouterFixture, public ::testing::WithParamInterface<RewriteCase> {};

TEST_P(Rewrite, AppReceivesTheRewrittenHead) {
    ASSERT_TRUE(send(requestHead(GetParam().lines, "GET /cart HTTP/1.1")).closed);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_EQ(app.received().front(), requestHead(GetParam().forwarded, "GET /cart HTTP/1.1"));
}

INSTANTIATE_TEST_SUITE_P(
    Heads, Rewrite,
    ::testing::Values(RewriteCase{"example",
                                  {"Host: shop.example.test", "x-skerrow-host: Shop.Example.Test",
                                   "cf-connecting-ip: 203.0.113.7", "Connection: keep-alive",
                                   "Accept: text/html"},
                                  {"cf-connecting-ip: 203.0.113.7", "Accept: text/html",
                                   "Host: localhost", "Connection: close"}},
                      RewriteCase{"upgrade",
                                  {"x-skerrow-host: shop.example.test", "Upgrade: websocket",
                                   "Connection: Upgrade", "Sec-WebSocket-Version: 13"},
                                  {"Upgrade: websocket", "Sec-WebSocket-Version: 13",
                                   "Host: localhost", "Connection: Upgrade"}},
                      RewriteCase{"probe_line_removed",
                                  {"X-Skerrow-Probe: 1", "x-skerrow-host: shop.example.test",
                                   "x-skerrow-probe: yes", "Accept: */*"},
                                  {"Accept: */*", "Host: localhost", "Connection: close"}},
                      RewriteCase{"lines_kept_in_order_and_case",
                                  {"X-B: 2", "x-skerrow-host: shop.example.test", "X-A: 1",
                                   "HOST: shop.example.test", "CONNECTION: x", "Hostile: yes",
                                   "Host : spaced"},
                                  {"X-B: 2", "X-A: 1", "Hostile: yes", "Host : spaced",
                                   "Host: localhost", "Connection: close"}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RouterFixture, BodyBytesReadWithTheHeadFollowIt) {
    const QByteArray head = requestHead({"x-skerrow-host: shop.example.test", "Content-Length: 9"},
                                        "POST /orders HTTP/1.1");
    ASSERT_TRUE(send(head + "body\r\n\r\n!").closed);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_EQ(app.received().front(),
              requestHead({"Content-Length: 9", "Host: localhost", "Connection: close"},
                          "POST /orders HTTP/1.1") +
                  "body\r\n\r\n!");
}

TEST_F(RouterFixture, HeadArrivingOneBytePerReadIsDispatchedAtItsBlankLine) {
    const routertest::Exchange answer =
        send(requestHead({"x-skerrow-host: shop.example.test", "Accept: */*"}), true);
    EXPECT_EQ(answer.received, app.relayedResponse);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_EQ(app.received().front(),
              requestHead({"Accept: */*", "Host: localhost", "Connection: close"}));
}

TEST_F(RouterFixture, HeadBufferLimitIsOneMebibyte) {
    const QByteArray start =
        "GET / HTTP/1.1\r\nHost: shop.example.test\r\nx-skerrow-host: shop.example.test\r\nX-Pad: ";
    const QByteArray atLimit = start + QByteArray(1048576 - start.size(), 'a');

    // Exactly at the limit the router keeps reading, and the blank line still routes the head.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, routerPort);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(atLimit);
    ASSERT_TRUE(waitUntil([&] { return client.bytesToWrite() == 0; }));
    EXPECT_FALSE(
        waitUntil([&] { return client.bytesAvailable() > 0; }, std::chrono::milliseconds(200)));
    client.write("\r\n\r\n");
    ASSERT_TRUE(waitUntil([&] { return client.bytesAvailable() > 0; }));
    ASSERT_EQ(app.connections(), 1);
    EXPECT_TRUE(app.received().front().startsWith("GET / HTTP/1.1\r\nX-Pad: aaa"));

    // One byte more without a blank line is refused.
    EXPECT_EQ(send(atLimit + "a").received, Reply::bytes(400, QStringLiteral("header too large")));
    EXPECT_EQ(app.connections(), 1);
}

TEST_F(RouterFixture, HeadThatIsNotUtf8IsRefused) {
    for (const QByteArray& bad : {QByteArray("X-Name: caf\xe9"), QByteArray("X-A: \xc0\xaf"),
                                  QByteArray("X-B: \xed\xa0\x80")}) {
        EXPECT_EQ(send(requestHead({"x-skerrow-host: shop.example.test", bad})).received,
                  "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain\r\nContent-Length: 11\r\n"
                  "Connection: close\r\n\r\nbad headers")
            << bad.toHex().constData();
    }
    EXPECT_EQ(app.connections(), 0);
    // Valid multi-byte text passes.
    ASSERT_TRUE(
        send(requestHead({"x-skerrow-host: shop.example.test", "X-Name: caf\xc3\xa9"})).closed);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_TRUE(app.received().front().contains("X-Name: caf\xc3\xa9\r\n"));
}

TEST_F(RouterFixture, ClientLeavingBeforeItsHeadIsCompleteDisturbsNothing) {
    for (const QByteArray& partial : {QByteArray(), QByteArray("GET / HTTP/1.1\r\nx-sker")}) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, routerPort);
        ASSERT_TRUE(client.waitForConnected(5000));
        client.write(partial);
        ASSERT_TRUE(waitUntil([&] { return client.bytesToWrite() == 0; }));
        client.disconnectFromHost();
    }
    // The router stays healthy and keeps routing.
    EXPECT_EQ(send(requestHead({"x-skerrow-host: shop.example.test"})).received,
              app.relayedResponse);
    EXPECT_EQ(app.connections(), 1);
}

} // namespace
