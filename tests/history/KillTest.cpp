// The history survives the process being killed outright: what was stored stays readable,
// and the next start finds every entry with its body file and no file without an entry.
#include "history/HistoryReader.h"
#include "history/HistoryStore.h"
#include "history/RequestHistory.h"
#include "router/RouterTestKit.h"
#include "support/Wait.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using routertest::requestHead;

namespace {

constexpr int requests = 30;
constexpr qsizetype bodySize = 200 * 1024;

TEST(HistoryAfterKill, StoredEntriesAndTheirFilesSurviveAKill) {
    QTemporaryDir dir;
    const QString history = dir.filePath(QStringLiteral("skerrow"));
    routertest::TestApp app;
    int served = 0;
    app.onRequest = [&](QTcpSocket* socket, const QByteArray&) {
        const QByteArray body(bodySize, char('a' + served++ % 26));
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\n\r\n" + body);
        socket->disconnectFromHost();
    };
    const quint16 port = routertest::freePort();
    QProcess host;
    host.start(QStringLiteral(SKERROW_CAPTURE_HOST_PATH),
               {QString::number(port), QString::number(app.port()), history});
    ASSERT_TRUE(waitUntil([&] { return host.readAllStandardOutput().contains("listening"); }));

    HistoryReader reader(history);
    ASSERT_TRUE(reader.open());
    for (int i = 0; i < requests; ++i)
        routertest::exchange(port, requestHead({"x-skerrow-host: shop.example.test"}));
    ASSERT_TRUE(waitUntil([&] { return reader.count() == requests; }));
    ::kill(static_cast<pid_t>(host.processId()), SIGKILL);
    ASSERT_TRUE(host.waitForFinished());

    const auto check = [&](HistoryReader& r) {
        QSet<QString> named;
        for (qint64 id : r.ids()) {
            const RecordedRequest entry = *r.entry(id);
            EXPECT_EQ(r.bodyBytes(entry.responseBody).size(), bodySize);
            named.insert(entry.responseBody.file);
        }
        const QStringList files =
            QDir(history + QLatin1Char('/') + QString::fromLatin1(HistoryStore::bodyFolder))
                .entryList(QDir::Files);
        EXPECT_EQ(QSet<QString>(files.begin(), files.end()), named);
    };
    EXPECT_EQ(reader.count(), requests);
    {
        // The next start tidies what the kill left half done.
        RequestHistory restarted(history);
        ASSERT_TRUE(restarted.writer().isOpen());
        HistoryReader after(history);
        ASSERT_TRUE(after.open());
        EXPECT_EQ(after.count(), requests);
        check(after);
    }
}

} // namespace
