#include "AppStateTestAccess.h"
#include "LocalParties.h"
#include "app/AppState.h"
#include "platform/Clipboard.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct ProbeCase {
    const char* name;
    QByteArray answer;
    Public expected;
};

QByteArray answer(const QByteArray& statusLine, const QByteArray& extraHeaders = {}) {
    return "HTTP/1.1 " + statusLine + "\r\n" + extraHeaders +
           "Content-Length: 2\r\nConnection: close\r\n\r\nok";
}

Public probe(const QString& host) {
    return await(PublicProbe::publicStatus(host));
}

QString loopback(quint16 port) {
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

TEST(PublicProbe, ClassifiesEdgeRouterAndEndedAnswers) {
    const ProbeCase cases[] = {
        {"edge cannot reach the tunnel", answer("530 Origin Unregistered"), Public::unreachable},
        {"edge cannot reach the origin", answer("522 Connection Timed Out"), Public::unreachable},
        {"router's unknown host", answer("404 Not Found"), Public::live},
        {"router's bad gateway", answer("502 Bad Gateway"), Public::live},
        {"the app's page", answer("200 OK"), Public::live},
        {"ended, whatever the status", answer("200 OK", "X-Skerrow-Status: ended\r\n"),
         Public::ended},
        {"ended by the edge", answer("410 Gone", "x-skerrow-status: ended\r\n"), Public::ended},
        {"another state", answer("200 OK", "x-skerrow-status: paused\r\n"), Public::unreachable},
        {"not HTTP", "garbage\r\n\r\n", Public::unreachable},
    };
    for (const ProbeCase& c : cases) {
        RecordingOrigin server(c.answer);
        ASSERT_TRUE(server.listen());
        EXPECT_EQ(probe(loopback(server.port())), c.expected) << c.name;
        ASSERT_FALSE(server.received.isEmpty()) << c.name;
        EXPECT_TRUE(server.received.front().contains("\r\nConnection: close\r\n")) << c.name;
        EXPECT_TRUE(server.received.front().contains("\r\nX-Skerrow-Probe: 1\r\n")) << c.name;
    }
}

TEST(PublicProbe, NeverAnswersFromACacheAndARefusedConnectionIsUnreachableAtOnce) {
    RecordingOrigin cacheable(answer("200 OK", "Cache-Control: public, max-age=3600\r\n"));
    ASSERT_TRUE(cacheable.listen());
    EXPECT_EQ(probe(loopback(cacheable.port())), Public::live);
    EXPECT_EQ(probe(loopback(cacheable.port())), Public::live);
    EXPECT_EQ(cacheable.received.size(), 2);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(probe(loopback(freePort())), Public::unreachable);
    EXPECT_LT(elapsed.elapsed(), 1000);
    EXPECT_EQ(probe(QStringLiteral("bad host/")), Public::unreachable);
}

class NoServiceApp : public ::testing::Test {
protected:
    NoServiceApp() {
        AppState::Options options;
        options.scanner = [] { return std::optional<QList<PortRow>>(QList<PortRow>{}); };
        options.apiBase = QStringLiteral("http://127.0.0.1:9");
        options.supportDir = dir.path();
        state = std::make_unique<AppState>(std::move(options));
    }
    QTemporaryDir dir;
    std::unique_ptr<AppState> state;
};

TEST_F(NoServiceApp, ALaterCopyKeepsItsHostForItsFullTime) {
    const ShareLink first{QStringLiteral("h1.localhost"), 3000, {}, {}};
    const ShareLink second{QStringLiteral("h2.localhost"), 3000, {}, {}};
    state->copy(first);
    EXPECT_EQ(clipboardText(), publicURL(first.host));
    EXPECT_EQ(state->copiedHost(), first.host);
    QTest::qWait(1000);
    QElapsedTimer sinceSecond;
    state->copy(second);
    sinceSecond.start();
    EXPECT_EQ(clipboardText(), publicURL(second.host));
    ASSERT_TRUE(waitUntil([&] { return !state->copiedHost(); }, 3s));
    EXPECT_GE(sinceSecond.elapsed(), 1400);
    EXPECT_LE(sinceSecond.elapsed(), 2200);
}

TEST_F(NoServiceApp, MarkingAKnownHostLiveChangesNothing) {
    state->markLive(QStringLiteral("h1"));
    EXPECT_EQ(state->liveHosts(), QSet<QString>{QStringLiteral("h1")});
    QSignalSpy changes(state.get(), &AppState::changed);
    state->markLive(QStringLiteral("h1"));
    EXPECT_EQ(changes.count(), 0);
}

} // namespace
