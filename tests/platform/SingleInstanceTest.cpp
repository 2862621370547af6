#include "platform/SingleInstance.h"

#include "support/Wait.h"

#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <gtest/gtest.h>

namespace {

class OneInstance : public ::testing::Test {
protected:
    QString lockPath() const { return dir.filePath(QLatin1String(SingleInstance::lockName)); }
    QTemporaryDir dir;
};

TEST_F(OneInstance, ASecondStartAsksTheFirstToOpenItsPanel) {
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen());
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);

    // The second start blocks while it asks, so it runs beside this thread's event loop.
    QFuture<std::pair<bool, bool>> second = QtConcurrent::run([path = dir.path()] {
        SingleInstance later(path);
        const bool claimed = later.claim();
        return std::pair{claimed, later.askToOpenPanel()};
    });
    ASSERT_TRUE(waitUntil([&] { return second.isFinished(); }));
    EXPECT_FALSE(second.result().first);
    EXPECT_TRUE(second.result().second);
    EXPECT_EQ(opened.count(), 1);
}

TEST_F(OneInstance, ALockWhoseOwnerIsGoneIsTakenOver) {
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    ASSERT_TRUE(gone.waitForFinished());
    const QByteArray stale[] = {
        QByteArray::number(gone.processId()) + "\ntrue\n" + QSysInfo::machineHostName().toUtf8() +
            '\n' + QSysInfo::machineUniqueId() + '\n',
        QByteArray(), // cut short while it was written
    };
    for (const QByteArray& content : stale) {
        QFile file(lockPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
        file.close();
        SingleInstance instance(dir.path());
        EXPECT_TRUE(instance.claim()) << content.constData();
    }
}

TEST_F(OneInstance, NoFirstToAskIsAnAnswerInTime) {
    SingleInstance lonely(dir.path());
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(lonely.askToOpenPanel());
    EXPECT_LT(elapsed.elapsed(), SingleInstance::requestTimeout.count() + 2000);
}

TEST_F(OneInstance, StrangersOnTheSocketOpenNothing) {
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.listen());
    QSignalSpy opened(&first, &SingleInstance::openPanelRequested);
    for (const QByteArray& junk : {QByteArray("close-panel\n"), QByteArray(200, 'x')}) {
        QLocalSocket socket;
        socket.connectToServer(first.socketPath());
        ASSERT_TRUE(socket.waitForConnected(2000));
        socket.write(junk);
        socket.flush();
        EXPECT_TRUE(waitUntil([&] { return socket.state() == QLocalSocket::UnconnectedState; }))
            << junk.constData();
    }
    EXPECT_EQ(opened.count(), 0);
}

} // namespace
