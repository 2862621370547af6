// Replays reach the real app through a real socket and are recorded as new entries that name
// the original.
#include "history/Replay.h"

#include "HistoryFixture.h"

using routertest::requestHead;

namespace {

const QByteArray webhookBody = R"({"event":"paid","amount":1200})";
const QByteArray webhook =
    requestHead({"x-skerrow-host: shop.example.test", "cf-connecting-ip: 198.51.100.4",
                 "Content-Type: application/json", "Stripe-Signature: t=1700000000,v1=ab12",
                 "Content-Length: " + QByteArray::number(webhookBody.size())},
                "POST /hooks HTTP/1.1") +
    webhookBody;

class ReplayTest : public HistoryFixture {
protected:
    RecordedRequest recordWebhook() {
        send(webhook);
        EXPECT_TRUE(waitStored(1));
        return only();
    }

    // Sends `bytes` as a replay of `original` and waits for its entry.
    RecordedRequest replay(const RecordedRequest& original, const QByteArray& bytes) {
        auto* sender = new ReplaySender(original, bytes, queue);
        bool done = false;
        QObject::connect(sender, &ReplaySender::finished, [&] { done = true; });
        sender->start();
        EXPECT_TRUE(waitUntil([&] { return done; }));
        EXPECT_TRUE(waitStored(2));
        return reader->entry(reader->ids().value(1)).value_or(RecordedRequest{});
    }
};

TEST_F(ReplayTest, ReplaySendsTheSameBytesAndIsRecordedAsANewEntry) {
    const RecordedRequest original = recordWebhook();
    const std::optional<QByteArray> bytes = Replay::originalBytes(original, *reader);
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(Replay::hasTimestampedSignature(HttpHeads::parse(original.requestHead)));

    const RecordedRequest again = replay(original, *bytes);
    ASSERT_EQ(app.connections(), 2);
    EXPECT_EQ(app.received()[1], app.received()[0]);
    EXPECT_EQ(again.replayOf, original.id);
    EXPECT_EQ(again.visitor, QString::fromLatin1(Replay::replayVisitor));
    EXPECT_EQ(again.link, original.link);
    EXPECT_EQ(again.requestHead + again.requestBody.bytes, *bytes);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.responseBody.bytes, "ok");
    EXPECT_EQ(again.ending, QStringLiteral("complete"));
    // The original stays as it was.
    const RecordedRequest stored = *reader->entry(original.id);
    EXPECT_EQ(stored.requestHead, original.requestHead);
    EXPECT_EQ(stored.replayOf, 0);
}

TEST_F(ReplayTest, EditedReplayReachesTheAppWithItsOwnContentLength) {
    const RecordedRequest original = recordWebhook();
    Replay::Edit edit = Replay::editable(original, reader->bodyBytes(original.requestBody));
    edit.method = "PUT";
    edit.target = "/hooks/retry";
    edit.fields.append({QByteArray("X-Attempt"), QByteArray("2")});
    edit.body = R"({"event":"paid","amount":99999,"note":"edited"})";

    const RecordedRequest again = replay(original, Replay::editedBytes(edit));
    ASSERT_EQ(app.connections(), 2);
    const QByteArray got = app.received()[1];
    EXPECT_TRUE(got.startsWith("PUT /hooks/retry HTTP/1.1\r\n"));
    EXPECT_TRUE(got.contains("\r\nX-Attempt: 2\r\n"));
    EXPECT_TRUE(
        got.contains("\r\nContent-Length: " + QByteArray::number(edit.body.size()) + "\r\n"));
    EXPECT_EQ(got.count("Content-Length"), 1);
    EXPECT_TRUE(got.endsWith("\r\n\r\n" + edit.body));
    EXPECT_EQ(again.method, QStringLiteral("PUT"));
    EXPECT_EQ(again.requestBody.bytes, edit.body);
    EXPECT_EQ(again.replayOf, original.id);
}

TEST_F(ReplayTest, ReplayToAnAppThatIsGoneIsRecordedAsRefused) {
    RecordedRequest original = recordWebhook();
    original.appPort = routertest::freePort();
    const RecordedRequest again = replay(original, *Replay::originalBytes(original, *reader));
    EXPECT_EQ(again.ending, QStringLiteral("app refused"));
    EXPECT_EQ(again.replayOf, original.id);
}

TEST(ReplayEdit, ContentLengthFollowsTheBody) {
    struct Case {
        const char* name;
        QByteArray method;
        QList<QPair<QByteArray, QByteArray>> fields;
        QByteArray body;
        QByteArray expected;
    };
    const std::vector<Case> cases = {
        {"stale length replaced",
         "POST",
         {{"Content-Length", "3"}, {"A", "1"}},
         "hello",
         "POST / HTTP/1.1\r\nA: 1\r\nContent-Length: 5\r\n\r\nhello"},
        {"chunked framing gives way",
         "POST",
         {{"Transfer-Encoding", "chunked"}},
         "xy",
         "POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\nxy"},
        {"empty GET gets no length",
         "GET",
         {{"Content-Length", "0"}},
         "",
         "GET / HTTP/1.1\r\n\r\n"},
        {"emptied POST says zero",
         "POST",
         {{"content-length", "9"}},
         "",
         "POST / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Replay::editedBytes({c.method, "/", "HTTP/1.1", c.fields, c.body}), c.expected);
    }
}

} // namespace
