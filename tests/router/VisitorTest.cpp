// Visitor counting through real requests, with time moved by an injected clock.
#include "RouterFixture.h"

using routertest::requestHead;

namespace {

class Visits : public RouterFixture {
protected:
    void visit(const QByteArray& address, const QString& toHost = host, bool probe = false) {
        QList<QByteArray> lines = {"x-skerrow-host: " + toHost.toUtf8(),
                                   "cf-connecting-ip: " + address};
        if (probe)
            lines.append("X-Skerrow-Probe: 1");
        ASSERT_TRUE(send(requestHead(lines)).closed);
    }
};

TEST_F(Visits, CountsAddressesSeenInTheLastFiveMinutes) {
    visit("198.51.100.1");
    clock.advance(200);
    visit("198.51.100.2");
    clock.advance(190);
    visit("2001:db8::3");
    const QDateTime newest = clock.now();
    clock.advance(10);

    // Seen 400 s, 200 s and 10 s ago: two are active; the oldest is dropped.
    EXPECT_EQ(router->visitors(host), (Visitors{2, newest}));
    EXPECT_EQ(router->visitors(QStringLiteral("SHOP.example.Test")), (Visitors{2, newest}));

    // Once all are older than the window none is active, and the last visit is still known.
    clock.advance(600);
    EXPECT_EQ(router->visitors(host), (Visitors{0, newest}));
    EXPECT_EQ(router->visitors(host), (Visitors{0, newest}));
}

TEST_F(Visits, RepeatVisitsFromOneAddressKeepOneEntryWithTheLatestTime) {
    visit("203.0.113.7");
    clock.advance(250);
    visit("203.0.113.7");
    const QDateTime latest = clock.now();
    clock.advance(100);
    EXPECT_EQ(router->visitors(host), (Visitors{1, latest}));
}

TEST_F(Visits, ProbesUnroutedRequestsAndRequestsWithoutAddressCountNoVisitor) {
    visit("203.0.113.7", host, true);
    visit("203.0.113.8", QStringLiteral("nope.example.test"));
    ASSERT_TRUE(send(requestHead({"x-skerrow-host: " + host.toUtf8()})).closed);
    ASSERT_TRUE(
        send(requestHead({"x-skerrow-host: " + host.toUtf8(), "cf-connecting-ip:"})).closed);
    EXPECT_EQ(app.connections(), 3);
    EXPECT_EQ(router->visitors(host), Visitors{});
    EXPECT_EQ(router->visitors(QStringLiteral("nope.example.test")), Visitors{});
}

TEST_F(Visits, EntriesGoWithTheirRouteAndStayThroughStop) {
    const QString other = QStringLiteral("blog.example.test");
    router->setRoutes({RouteRule{host, app.port()}, RouteRule{other, app.port()}});
    visit("198.51.100.1");
    visit("198.51.100.2", other);
    const QDateTime seen = clock.now();

    router->setRoutes({RouteRule{QStringLiteral("SHOP.EXAMPLE.TEST"), app.port()}});
    EXPECT_EQ(router->visitors(other), Visitors{});
    EXPECT_EQ(router->visitors(host), (Visitors{1, seen}));

    router->stop();
    EXPECT_EQ(router->visitors(host), (Visitors{1, seen}));
}

} // namespace
