// Links with a passphrase, through real requests: the login page, the cookie it sets, Basic
// credentials, what passes without them, what the app gets to see, and how guessing is slowed.
#include "RouterFixture.h"
#include "platform/BuildProfile.h"
#include "router/GuessLimiter.h"
#include "router/LoginPage.h"

#include <QUrl>

using routertest::requestHead;

namespace {

const QByteArray passphrase = "maple-otter-lantern";
const QByteArray visitorLine = "cf-connecting-ip: 198.51.100.4";

QByteArray basic(const QByteArray& user, const QByteArray& password) {
    return "Authorization: Basic " + (user + ':' + password).toBase64();
}

int statusOf(const QByteArray& answer) {
    return answer.mid(9, 3).toInt();
}

// The value of a response header, empty when it is absent.
QByteArray headerOf(const QByteArray& answer, const QByteArray& name) {
    const QByteArray head = answer.left(answer.indexOf("\r\n\r\n")).toLower();
    const qsizetype at = head.indexOf("\r\n" + name.toLower() + ": ");
    if (at < 0)
        return {};
    const qsizetype start = at + name.size() + 4;
    const qsizetype end = answer.indexOf("\r\n", start);
    return answer.mid(start, end - start);
}

class Access : public RouterFixture {
protected:
    void SetUp() override {
        RouterFixture::SetUp();
        router->setAccess(
            key, {LinkAccess{host, QString::fromUtf8(passphrase), QStringLiteral("Shop <Front>")}});
    }

    QByteArray get(QList<QByteArray> lines, const QByteArray& target = "/cart") {
        lines.prepend("x-skerrow-host: " + host.toUtf8());
        lines.append(visitorLine);
        return send(requestHead(lines, "GET " + target + " HTTP/1.1")).received;
    }

    QByteArray login(const QByteArray& guess, const QByteArray& next = "/cart",
                     bool byteByByte = false) {
        const QByteArray form = "next=" + QUrl::toPercentEncoding(QString::fromUtf8(next)) +
                                "&passphrase=" + QUrl::toPercentEncoding(QString::fromUtf8(guess));
        const QByteArray head = requestHead({"x-skerrow-host: " + host.toUtf8(), visitorLine,
                                             "Content-Type: application/x-www-form-urlencoded",
                                             "Content-Length: " + QByteArray::number(form.size())},
                                            "POST " + QByteArray(LoginPage::path) + " HTTP/1.1");
        return send(head + form, byteByByte).received;
    }

    // The cookie pair the browser sends back after a right passphrase.
    QByteArray loggedInCookie() {
        const QByteArray setCookie = headerOf(login(passphrase), "Set-Cookie");
        return setCookie.left(setCookie.indexOf(';'));
    }

    const QByteArray key = QByteArray(32, '\x5a');
};

TEST_F(Access, BrowserWithoutCookieGetsTheLoginPageAndNoVisitIsCounted) {
    const QByteArray answer = get({"Accept: text/html,application/xhtml+xml"});
    EXPECT_EQ(statusOf(answer), 401);
    EXPECT_TRUE(headerOf(answer, "WWW-Authenticate").isEmpty());
    EXPECT_TRUE(answer.contains("Shop &lt;Front&gt;"));
    EXPECT_TRUE(answer.contains("name=\"passphrase\""));
    EXPECT_TRUE(answer.contains("value=\"/cart\""));
    EXPECT_FALSE(answer.contains("<script"));
    EXPECT_FALSE(answer.contains("http"));
    EXPECT_EQ(app.connections(), 0);
    EXPECT_EQ(router->visitors(host).active, 0);
}

TEST_F(Access, ClientsThatReadNoPagesAreAskedForBasicCredentials) {
    const QByteArray answer = get({"Accept: */*"});
    EXPECT_EQ(statusOf(answer), 401);
    EXPECT_TRUE(headerOf(answer, "WWW-Authenticate").startsWith("Basic realm=\"Shop <Front>\""));
    EXPECT_EQ(app.connections(), 0);
}

TEST_F(Access, RightPassphraseSetsTheCookieAndReturnsToThePageAsked) {
    const QByteArray answer = login(passphrase, "/cart?size=2");
    EXPECT_EQ(statusOf(answer), 303);
    EXPECT_EQ(headerOf(answer, "Location"), "/cart?size=2");
    const QByteArray setCookie = headerOf(answer, "Set-Cookie");
    EXPECT_TRUE(setCookie.startsWith("skerrow_access="));
    EXPECT_TRUE(setCookie.contains("; HttpOnly"));
    EXPECT_TRUE(setCookie.contains("; SameSite=Lax"));
    EXPECT_EQ(setCookie.contains("; Secure"),
              QByteArrayView(BuildProfile::publicScheme).startsWith("https:"));
    EXPECT_EQ(app.connections(), 0);
}

TEST_F(Access, LoginFormArrivingByteByByteIsReadWhole) {
    EXPECT_EQ(statusOf(login(passphrase, "/", true)), 303);
}

TEST_F(Access, RedirectAfterLoginStaysOnTheHost) {
    for (const char* next :
         {"//evil.example/", "https://evil.example/", "/\\evil.example", "/a\r\nSet-Cookie: x=1"}) {
        EXPECT_EQ(headerOf(login(passphrase, next), "Location"), "/") << next;
    }
}

TEST_F(Access, CookieLetsRequestsThroughAndTheAppNeverSeesIt) {
    const QByteArray cookie = loggedInCookie();
    ASSERT_FALSE(cookie.isEmpty());
    EXPECT_EQ(get({"Cookie: theme=dark; " + cookie + "; cart=7"}), app.relayedResponse);
    EXPECT_EQ(get({"Cookie: " + cookie, "Authorization: Basic YXBwOm93bg=="}), app.relayedResponse);
    ASSERT_EQ(app.connections(), 2);
    EXPECT_TRUE(app.received()[0].contains("\r\nCookie: theme=dark; cart=7\r\n"));
    EXPECT_FALSE(app.received()[1].contains("Cookie"));
    // With our cookie, Basic credentials are the app's own.
    EXPECT_TRUE(app.received()[1].contains("\r\nAuthorization: Basic YXBwOm93bg==\r\n"));
    for (const QByteArray& received : app.received())
        EXPECT_FALSE(received.contains("skerrow_access"));
    EXPECT_EQ(router->visitors(host).active, 1);
}

TEST_F(Access, CookieStopsWorkingWhenItExpiresOrThePassphraseChanges) {
    const QByteArray cookie = loggedInCookie();
    clock.advance(6 * 24 * 3600);
    EXPECT_EQ(get({"Cookie: " + cookie}), app.relayedResponse);
    clock.advance(2 * 24 * 3600);
    EXPECT_EQ(statusOf(get({"Cookie: " + cookie})), 401);

    const QByteArray fresh = loggedInCookie();
    router->setAccess(key, {LinkAccess{host, QStringLiteral("another-pass"), QString()}});
    EXPECT_EQ(statusOf(get({"Cookie: " + fresh})), 401);
    EXPECT_EQ(app.connections(), 1);
}

TEST_F(Access, ForgedOrForeignCookiesAreRefused) {
    const QByteArray cookie = loggedInCookie();
    const QByteArray value = cookie.sliced(cookie.indexOf('=') + 1);
    const QByteArray expiry = value.left(value.indexOf('.'));
    const QByteArray longer =
        QByteArray::number(expiry.toLongLong() + 1000) + value.sliced(value.indexOf('.'));
    for (const QByteArray& forged :
         {QByteArray("skerrow_access=1"), "skerrow_access=" + longer,
          "skerrow_access=" + expiry + ".", "skerrow_access=" + value + "x"}) {
        EXPECT_EQ(statusOf(get({"Cookie: " + forged})), 401) << forged.constData();
    }
    // Signed for this host with another install's key.
    router->setAccess(QByteArray(32, '\x01'),
                      {LinkAccess{host, QString::fromUtf8(passphrase), QString()}});
    EXPECT_EQ(statusOf(get({"Cookie: " + cookie})), 401);
    EXPECT_EQ(app.connections(), 0);
}

TEST_F(Access, BasicCredentialsWithThePassphraseAreAcceptedAndRemoved) {
    EXPECT_EQ(get({basic("anyone", passphrase), "Accept: */*"}), app.relayedResponse);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_FALSE(app.received()[0].contains("Authorization"));
    EXPECT_EQ(statusOf(get({basic("anyone", "wrong")})), 401);
    EXPECT_EQ(statusOf(get({"Authorization: Bearer " + passphrase})), 401);
    EXPECT_EQ(app.connections(), 1);
}

TEST_F(Access, CorsPreflightPassesWithoutCredentials) {
    const QByteArray preflight =
        requestHead({"x-skerrow-host: " + host.toUtf8(), "Origin: https://other.example",
                     "Access-Control-Request-Method: PUT"},
                    "OPTIONS /api HTTP/1.1");
    EXPECT_EQ(send(preflight).received, app.relayedResponse);
    // Without the preflight header, an OPTIONS request is an ordinary one.
    EXPECT_EQ(
        statusOf(send(requestHead({"x-skerrow-host: " + host.toUtf8()}, "OPTIONS /api HTTP/1.1"))
                     .received),
        401);
    EXPECT_EQ(app.connections(), 1);
}

TEST_F(Access, WebSocketHandshakeIsLetInByTheCookie) {
    const QList<QByteArray> upgrade = {"Upgrade: websocket", "Connection: Upgrade",
                                       "Sec-WebSocket-Version: 13", "Accept: text/html"};
    EXPECT_EQ(headerOf(get(upgrade, "/live"), "WWW-Authenticate").left(5), "Basic");
    EXPECT_EQ(app.connections(), 0);
    EXPECT_EQ(get(upgrade + QList<QByteArray>{"Cookie: " + loggedInCookie()}, "/live"),
              app.relayedResponse);
    ASSERT_EQ(app.connections(), 1);
    EXPECT_TRUE(app.received()[0].contains("\r\nUpgrade: websocket\r\n"));
}

TEST_F(Access, WrongPassphrasesAreSlowedWithGrowingWaits) {
    for (int i = 0; i < GuessLimiter::freeAttempts; ++i)
        EXPECT_EQ(statusOf(login("guess")), 401);
    QByteArray answer = login("guess");
    EXPECT_EQ(statusOf(answer), 429);
    EXPECT_EQ(headerOf(answer, "Retry-After"), "1");
    // Even the right one waits, and the wait does not count as a visit.
    EXPECT_EQ(statusOf(login(passphrase)), 429);
    EXPECT_EQ(statusOf(get({basic("u", passphrase)})), 429);
    clock.advance(1);
    answer = login("guess");
    EXPECT_EQ(headerOf(answer, "Retry-After"), "2");
    clock.advance(2);
    EXPECT_EQ(headerOf(login("guess"), "Retry-After"), "4");
    clock.advance(4);
    EXPECT_EQ(statusOf(login(passphrase)), 303);
    // A right passphrase starts the count again.
    EXPECT_EQ(statusOf(login("guess")), 401);
    EXPECT_EQ(router->visitors(host).active, 0);
    EXPECT_EQ(app.connections(), 0);
}

TEST(GuessLimiterTest, WaitsDoubleUpToTheCeiling) {
    GuessLimiter limiter;
    const QString address = QStringLiteral("203.0.113.9");
    qint64 now = 1000;
    QList<qint64> waits;
    for (int i = 0; i < GuessLimiter::freeAttempts + 12; ++i) {
        limiter.failed(address, now);
        const qint64 wait = limiter.waitSeconds(address, now);
        waits.append(wait);
        now += wait;
    }
    EXPECT_EQ(waits.mid(0, GuessLimiter::freeAttempts), QList<qint64>(5, 0));
    EXPECT_EQ(waits.mid(GuessLimiter::freeAttempts, 10),
              (QList<qint64>{1, 2, 4, 8, 16, 32, 64, 128, 256, 300}));
    EXPECT_EQ(waits.back(), GuessLimiter::longestLockSeconds);
    EXPECT_EQ(limiter.waitSeconds(QStringLiteral("203.0.113.10"), now), 0);
}

TEST_F(RouterFixture, LinksWithoutPassphrasePassAsBefore) {
    router->setAccess(QByteArray(32, 'k'),
                      {LinkAccess{QStringLiteral("other.test"), QStringLiteral("p"), QString()}});
    EXPECT_EQ(send(requestHead({"x-skerrow-host: " + host.toUtf8(), "Accept: text/html"})).received,
              app.relayedResponse);
}

} // namespace
