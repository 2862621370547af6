#include "TinyHttpServer.h"
#include "discovery/PageProbe.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QTcpServer>
#include <gtest/gtest.h>

using namespace PortScanner;

namespace {

QByteArray pngBytes(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString base(quint16 port) {
    return QStringLiteral("http://127.0.0.1:%1/").arg(port);
}

// A clock the test moves by hand.
struct ManualClock {
    QDateTime now = QDateTime::currentDateTimeUtc();
    Clock clock() {
        return [this] { return now; };
    }
};

TEST(PageProbe, ConnectTestSucceedsOnlyWhereSomethingListens) {
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    EXPECT_TRUE(tcpConnect(QStringLiteral("127.0.0.1"), listener.serverPort(), connectTimeoutMs));
    const quint16 closed = listener.serverPort();
    listener.close();
    EXPECT_FALSE(tcpConnect(QStringLiteral("127.0.0.1"), closed, connectTimeoutMs));
    EXPECT_FALSE(tcpConnect(QStringLiteral("not-numeric.invalid"), 80, connectTimeoutMs));
}

TEST(PageProbe, PageAnsweredWithAnyStatusCounts) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    server.setAnswer("/", {404, "text/html", "<title>Nope</title>"});
    const auto page = httpGet(server.port());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->first, base(server.port()));
    EXPECT_EQ(page->second, QStringLiteral("<title>Nope</title>"));
}

TEST(PageProbe, IPv6OnlyServerIsReachedThroughLoopbackSix) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHostIPv6));
    server.setAnswer("/", {200, "text/html", "six"});
    EXPECT_FALSE(tcpConnect(QStringLiteral("127.0.0.1"), server.port(), connectTimeoutMs));
    EXPECT_TRUE(tcpConnect(QStringLiteral("::1"), server.port(), connectTimeoutMs));
    const auto page = httpGet(server.port());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->first, QStringLiteral("http://[::1]:%1/").arg(server.port()));
}

TEST(PageProbe, PageIsCutAtItsCapAndACutCharacterMeansNoPage) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    server.setAnswer("/", {200, "text/html", QByteArray(10000, 'a')});
    const auto page = httpGet(server.port());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->second.size(), pageBodyCap);

    // Two-byte characters starting at an odd offset: the cut falls inside one.
    server.setAnswer("/", {200, "text/html", "a" + QByteArray("\xC3\xA9").repeated(5000)});
    EXPECT_FALSE(httpGet(server.port()));
}

TEST(PageProbe, SilentPortCostsNoMoreThanTheWaitPerHost) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::Any));
    server.setSilent(true);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(httpGet(server.port()));
    // Two hosts, each waited on for 0.45 s at most; the slack covers a loaded machine.
    EXPECT_LT(elapsed.elapsed(), 2 * answerWaitMs + 400);
}

TEST(PageProbe, IconFromLinkTagResolvedAgainstThePage) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    server.setAnswer("/img/f.png", {200, "image/png", pngBytes(16)});
    const QString body = QStringLiteral("<link href=img/f.png rel=\"icon\">");
    const auto icon = favicon(server.port(), base(server.port()), body);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width(), 16);
    // A good icon is kept: no second request.
    EXPECT_TRUE(favicon(server.port(), base(server.port()), body));
    EXPECT_EQ(server.hits("/img/f.png"), 1);
}

TEST(PageProbe, IconFallsBackToFaviconIco) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    server.setAnswer("/favicon.ico", {200, "image/png", pngBytes(8)});
    const auto icon = favicon(server.port(), base(server.port()) + QStringLiteral("deep/page"),
                              QStringLiteral("<p>no links</p>"));
    ASSERT_TRUE(icon);
    EXPECT_EQ(server.hits("/favicon.ico"), 1);
}

TEST(PageProbe, FailedIconIsRetriedOnlyAfterThirtySeconds) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    ManualClock time;
    const QString notImage = QStringLiteral("<link rel=icon href=/bad.png>");
    server.setAnswer("/bad.png", {200, "image/png", "not an image"});
    const QString missing = QStringLiteral("<link rel=icon href=/missing.png>");

    for (const QString& body : {notImage, missing}) {
        EXPECT_FALSE(favicon(server.port(), base(server.port()), body, time.clock()));
    }
    time.now = time.now.addSecs(29);
    EXPECT_FALSE(favicon(server.port(), base(server.port()), notImage, time.clock()));
    EXPECT_FALSE(favicon(server.port(), base(server.port()), missing, time.clock()));
    EXPECT_EQ(server.hits("/bad.png"), 1);
    EXPECT_EQ(server.hits("/missing.png"), 1);

    server.setAnswer("/bad.png", {200, "image/png", pngBytes(4)});
    time.now = time.now.addSecs(1);
    EXPECT_TRUE(favicon(server.port(), base(server.port()), notImage, time.clock()));
    EXPECT_EQ(server.hits("/bad.png"), 2);
}

TEST(PageProbe, RawFetchHonoursOkOnlyAndCap) {
    TinyHttpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    server.setAnswer("/x", {500, "text/plain", "oops"});
    const QString url = base(server.port()) + QStringLiteral("x");
    EXPECT_FALSE(httpGet(url, 100, true));
    EXPECT_EQ(httpGet(url, 2, false), QByteArray("oo"));
    EXPECT_FALSE(httpGet(QStringLiteral("http://[::1"), 100, false));
}

} // namespace
