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

namespace {

class VisitorDetails : public RouterFixture {
protected:
    void visit(const QByteArray& address, const QByteArray& path, const QByteArray& agent) {
        ASSERT_TRUE(send(requestHead({"x-skerrow-host: " + host.toUtf8(),
                                      "cf-connecting-ip: " + address, "User-Agent: " + agent},
                                     "GET " + path + " HTTP/1.1"))
                        .closed);
    }
};

TEST_F(VisitorDetails, KeepEachAddressOfTheLastHourWithItsLatestPathAndCount) {
    const QByteArray firefox =
        "Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Firefox/128.0";
    visit("198.51.100.1", "/", firefox);
    const QDateTime first = clock.now();
    clock.advance(30);
    visit("203.0.113.9", "/", "curl/8.5.0");
    clock.advance(30);
    visit("198.51.100.1", "/cart?item=3", firefox);
    const QDateTime latest = clock.now();

    const QList<VisitorDetail> details =
        router->visitorDetails(QStringLiteral("SHOP.example.Test"));
    ASSERT_EQ(details.size(), 2);
    EXPECT_EQ(details[0], (VisitorDetail{QStringLiteral("198.51.100.1"), QString::fromUtf8(firefox),
                                         QStringLiteral("/cart?item=3"), first, latest, 2}));
    EXPECT_EQ(details[1].address, QStringLiteral("203.0.113.9"));
    EXPECT_EQ(details[1].requests, 1);

    // An hour after its latest request a visitor is gone; the one seen later goes a minute after.
    clock.advance(3600 - 30);
    EXPECT_EQ(router->visitorDetails(host).size(), 1);
    clock.advance(60);
    EXPECT_TRUE(router->visitorDetails(host).isEmpty());
}

} // namespace
