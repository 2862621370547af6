// The history on disk: its cap, its files, restarts and clearing.
#include "HistoryFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

using routertest::requestHead;

namespace {

QByteArray responseWithBody(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

QString bodyDir(const QString& historyDir) {
    return QDir(historyDir).filePath(QString::fromLatin1(HistoryStore::bodyFolder));
}

QSet<QString> bodyFiles(const QString& historyDir) {
    const QStringList files = QDir(bodyDir(historyDir)).entryList(QDir::Files);
    return QSet<QString>(files.begin(), files.end());
}

constexpr qsizetype largeBody = 100 * 1024;

TEST_F(HistoryFixture, HistoryAtItsCapDropsTheOldestWithTheirFiles) {
    router->setCapture(nullptr);
    writer.reset();
    // Room for three entries with a large body, not four.
    startCapture(3 * largeBody + 2048);
    constexpr int requests = 6;
    for (int i = 0; i < requests; ++i) {
        app.response = responseWithBody(QByteArray(largeBody, char('a' + i)));
        send(requestHead({"x-skerrow-host: shop.example.test"},
                         "GET /" + QByteArray::number(i) + " HTTP/1.1"));
        ASSERT_TRUE(waitStored(i + 1));
    }
    const QList<qint64> ids = reader->ids();
    ASSERT_EQ(ids.size(), 3);
    QSet<QString> named;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        const RecordedRequest r = *reader->entry(ids[i]);
        EXPECT_EQ(r.target, QStringLiteral("/%1").arg(requests - 3 + i));
        EXPECT_EQ(reader->bodyBytes(r.responseBody),
                  QByteArray(largeBody, char('a' + requests - 3 + i)));
        named.insert(r.responseBody.file);
    }
    EXPECT_EQ(bodyFiles(historyDir), named);
}

TEST_F(HistoryFixture, HistoryOutlivesARestart) {
    app.response = responseWithBody(QByteArray(largeBody, 'r'));
    send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /before HTTP/1.1"));
    ASSERT_TRUE(waitStored(1));
    router->setCapture(nullptr);
    reader.reset();
    writer.reset();

    startCapture();
    app.response = routertest::TestApp().response;
    send(requestHead({"x-skerrow-host: shop.example.test"}, "GET /after HTTP/1.1"));
    ASSERT_TRUE(waitStored(1));
    const QList<qint64> ids = reader->ids();
    ASSERT_EQ(ids.size(), 2);
    const RecordedRequest before = *reader->entry(ids[0]);
    EXPECT_EQ(before.target, QStringLiteral("/before"));
    EXPECT_EQ(reader->bodyBytes(before.responseBody), QByteArray(largeBody, 'r'));
    EXPECT_EQ(reader->entry(ids[1])->target, QStringLiteral("/after"));
}

TEST_F(HistoryFixture, ClearRemovesEntriesAndFiles) {
    app.response = responseWithBody(QByteArray(largeBody, 'c'));
    send(requestHead({"x-skerrow-host: shop.example.test"}));
    ASSERT_TRUE(waitStored(1));
    ASSERT_EQ(bodyFiles(historyDir).size(), 1);
    writer->clear().wait();
    EXPECT_EQ(reader->count(), 0);
    EXPECT_TRUE(bodyFiles(historyDir).isEmpty());
}

TEST_F(HistoryFixture, HistoryIsTheUsersAlone) {
    send(requestHead({"x-skerrow-host: shop.example.test"}));
    ASSERT_TRUE(waitStored(1));
    const auto ownerOnlyDir =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const auto ownerOnlyFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto mode = [](const QString& path) {
        return QFileInfo(path).permissions() &
               ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
    };
    EXPECT_EQ(mode(historyDir), ownerOnlyDir);
    EXPECT_EQ(mode(bodyDir(historyDir)), ownerOnlyDir);
    for (const QString& name : QDir(historyDir).entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(mode(QDir(historyDir).filePath(name)), ownerOnlyFile);
    }
}

} // namespace
