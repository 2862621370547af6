// The HAR export of real captured traffic passes the HAR 1.2 schema and carries what browsers'
// importers read; secrets are redacted unless asked not to be.
#include "history/HarExport.h"

#include "HistoryFixture.h"
#include "history/CurlCommand.h"

#include <QJsonArray>
#include <QProcess>
#include <QTcpSocket>

using namespace Qt::Literals::StringLiterals;
using routertest::requestHead;

namespace {

class HarExportTest : public HistoryFixture {
protected:
    QList<RecordedRequest> all() {
        QList<RecordedRequest> list;
        for (qint64 id : reader->ids())
            list.append(*reader->entry(id));
        return list;
    }

    QByteArray exported(bool redact) {
        return HarExport::bytes(all(),
                                [&](const StoredBody& body) { return reader->bodyBytes(body); },
                                {redact, QStringLiteral("test")});
    }

    void recordMixedTraffic() {
        const QByteArray json = R"({"user":"ada"})";
        send(requestHead({"x-skerrow-host: shop.example.test", "cf-connecting-ip: 192.0.2.1",
                          "Authorization: Bearer s3cr3t-token", "Cookie: session=c00kie; a=b",
                          "Content-Type: application/json",
                          "Content-Length: " + QByteArray::number(json.size())},
                         "POST /api/users?page=2&q=a%20b HTTP/1.1") +
             json);
        QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADU"
                                                "lEQVR4nGP4z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg==");
        app.response = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nSet-Cookie: id=s3t; "
                       "Path=/\r\nContent-Length: " +
                       QByteArray::number(png.size()) + "\r\n\r\n" + png;
        send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /logo.png HTTP/1.1"));

        const WebSocketRoad road =
            openWebSocket(QStringLiteral("/ws"), [](const QString& m) { return m.toUpper(); });
        QWebSocket& client = *road.client;
        bool answered = false;
        QObject::connect(&client, &QWebSocket::textMessageReceived, [&] { answered = true; });
        ASSERT_TRUE(waitUntil([&] { return client.state() == QAbstractSocket::ConnectedState; }));
        client.sendTextMessage(QStringLiteral("ping"));
        ASSERT_TRUE(waitUntil([&] { return answered; }));
        client.close();
        ASSERT_TRUE(waitStored(3));
    }
};

TEST_F(HarExportTest, ExportPassesTheSchemaAndTheImportersChecks) {
    recordMixedTraffic();
    const QString path = dir.filePath(QStringLiteral("export.har"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(exported(true));
    file.close();

    QProcess node;
    node.start(QStringLiteral("node"), {QStringLiteral(SKERROW_HAR_CHECK_SCRIPT), path});
    ASSERT_TRUE(node.waitForFinished(60000)) << "node did not run";
    EXPECT_EQ(node.exitCode(), 0) << node.readAllStandardError().toStdString();
}

TEST_F(HarExportTest, SecretsAreRedactedUnlessUnticked) {
    recordMixedTraffic();
    const QByteArray redacted = exported(true);
    for (const QByteArray secret : {"s3cr3t-token", "c00kie", "id=s3t"})
        EXPECT_FALSE(redacted.contains(secret)) << secret.toStdString();
    EXPECT_TRUE(redacted.contains(HarExport::redactedValue));

    const QByteArray open = exported(false);
    for (const QByteArray secret : {"s3cr3t-token", "c00kie", "s3t"})
        EXPECT_TRUE(open.contains(secret)) << secret.toStdString();
}

TEST_F(HarExportTest, EntriesCarryTheRecordedRequest) {
    recordMixedTraffic();
    const QJsonObject log =
        HarExport::document(all(), [&](const StoredBody& b) { return reader->bodyBytes(b); },
                            {true, {}})[u"log"_s]
            .toObject();
    const QJsonArray entries = log[u"entries"_s].toArray();
    ASSERT_EQ(entries.size(), 3);
    const QJsonObject post = entries[0].toObject();
    EXPECT_EQ(post[u"request"_s][u"url"_s].toString(),
              QStringLiteral("https://shop.example.test/api/users?page=2&q=a%20b"));
    EXPECT_EQ(post[u"request"_s][u"postData"_s][u"text"_s].toString(),
              QStringLiteral(R"({"user":"ada"})"));
    EXPECT_EQ(post[u"request"_s][u"queryString"_s].toArray().size(), 2);
    EXPECT_EQ(post[u"response"_s][u"content"_s][u"text"_s].toString(), QStringLiteral("ok"));
    const QJsonObject image = entries[1].toObject();
    EXPECT_EQ(image[u"response"_s][u"content"_s][u"encoding"_s].toString(),
              QStringLiteral("base64"));
    EXPECT_EQ(image[u"response"_s][u"content"_s][u"mimeType"_s].toString(),
              QStringLiteral("image/png"));
    const QJsonObject socket = entries[2].toObject();
    EXPECT_EQ(socket[u"response"_s][u"status"_s].toInt(), 101);
    const QJsonArray messages = socket[u"_webSocketMessages"_s].toArray();
    ASSERT_GE(messages.size(), 2);
    EXPECT_EQ(messages[0][u"type"_s].toString(), QStringLiteral("send"));
    EXPECT_EQ(messages[0][u"data"_s].toString(), QStringLiteral("ping"));
    EXPECT_EQ(messages[1][u"type"_s].toString(), QStringLiteral("receive"));
    EXPECT_EQ(messages[1][u"data"_s].toString(), QStringLiteral("PING"));
}

TEST_F(HarExportTest, CurlCommandSendsTheSameRequestToThePublicAddress) {
    const QByteArray body = "it's \"quoted\"";
    send(requestHead({"x-skerrow-host: shop.example.test", "X-Token: a'b",
                      "Content-Length: " + QByteArray::number(body.size())},
                     "POST /x HTTP/1.1") +
         body);
    ASSERT_TRUE(waitStored(1));
    const RecordedRequest r = only();
    const QString command = CurlCommand::of(r, reader->bodyBytes(r.requestBody));
    // The shell reads it back into the same words.
    QProcess shell;
    shell.start(QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 u"args() { printf '%s\\n' \"$@\"; }; "_s +
                     command.mid(qsizetype(sizeof "curl") - 1).prepend(QStringLiteral("args"))});
    ASSERT_TRUE(shell.waitForFinished());
    EXPECT_EQ(shell.readAllStandardOutput(),
              "-X\nPOST\nhttps://shop.example.test/x\n-H\nX-Token: a'b\n--data-binary\n"
              "it's \"quoted\"\n");
}

} // namespace
