// Launching, replacing and stopping the cloudflared child, over real processes.
#include "SupervisorFixture.h"
#include "service/PlatformErrors.h"
#include "tunnel/TunnelError.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

const QList<RouteRule> someRules{{QStringLiteral("a.example"), 3000}};

class TunnelProcessTest : public SupervisorFixture {
protected:
    void SetUp() override { writeBaseConfig(); }
};

TEST_F(TunnelProcessTest, LaunchesOneChildWithTheFixedCommandLineWhateverTheRules) {
    Tunnel& tunnel = makeTunnel();
    tunnel.start(someRules);
    ASSERT_TRUE(tunnel.isRunning());
    EXPECT_TRUE(router.isListening());
    const pid_t pid = *tunnel.processId();

    tunnel.start(someRules);
    EXPECT_EQ(tunnel.processId(), pid);
    // Empty rules empty the router's table and stop its listener; the child stays.
    tunnel.start({});
    EXPECT_FALSE(router.isListening());
    EXPECT_TRUE(tunnel.isRunning());
    EXPECT_EQ(tunnel.processId(), pid);

    ASSERT_TRUE(logShows("ready\n"));
    const QByteArray expected = "arg:tunnel\narg:--config\narg:" + tunnel.configURL().toUtf8() +
                                "\narg:--no-autoupdate\narg:run\ncwd:" +
                                QFileInfo(supportDir()).canonicalFilePath().toUtf8() + "\n";
    EXPECT_TRUE(log().startsWith(expected)) << log().toStdString();
    // Standard error shares the one log handle.
    EXPECT_TRUE(log().contains("stderr:here\n"));

    QFile pidFile(tunnel.pidFileURL());
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    EXPECT_EQ(pidFile.readAll(), QByteArray::number(pid) + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(tunnel.pidFileURL()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
}

TEST_F(TunnelProcessTest, StartAfterStopWaitsForTheOldChildThenLaunchesOnAFreshLog) {
    Tunnel& tunnel = makeTunnel();
    tunnel.start(someRules);
    const pid_t first = *tunnel.processId();
    ASSERT_TRUE(logShows("ready\n"));
    {
        QFile file(tunnel.logFileURL());
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("from the old run\n");
    }

    tunnel.stop();
    EXPECT_FALSE(router.isListening());
    EXPECT_FALSE(tunnel.processId());
    EXPECT_FALSE(tunnel.isRunning());
    EXPECT_EQ(tunnel.dyingPid(), first);
    EXPECT_FALSE(QFile::exists(tunnel.pidFileURL()));
    // The trap survives SIGTERM, so the old child is still there.
    ASSERT_TRUE(logShows("TERM\n"));
    tunnel.start(someRules);
    EXPECT_FALSE(tunnel.processId());
    EXPECT_EQ(tunnel.dyingPid(), first);
    EXPECT_TRUE(router.isListening());

    // SIGKILL follows two seconds after SIGTERM.
    ASSERT_TRUE(waitUntil([&] { return !processExists(first); }, std::chrono::seconds(5)));
    tunnel.start(someRules);
    ASSERT_TRUE(tunnel.isRunning());
    EXPECT_NE(tunnel.processId(), first);
    EXPECT_FALSE(tunnel.dyingPid());
    ASSERT_TRUE(logShows("ready\n"));
    EXPECT_FALSE(log().contains("from the old run"));
    EXPECT_FALSE(log().contains("TERM"));
}

TEST_F(TunnelProcessTest, ChildThatDiedIsRelaunchedAndAStopAfterItSignalsNothing) {
    Tunnel& tunnel = makeTunnel();
    tunnel.start({});
    const pid_t first = *tunnel.processId();
    ::kill(first, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !tunnel.isRunning(); }));
    EXPECT_EQ(tunnel.processId(), first);

    tunnel.start({});
    ASSERT_TRUE(tunnel.isRunning());
    const pid_t second = *tunnel.processId();
    EXPECT_NE(second, first);
    EXPECT_FALSE(tunnel.dyingPid());

    // A child gone by itself holds nothing back: the next start launches at once.
    ::kill(second, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !tunnel.isRunning(); }));
    tunnel.stop();
    EXPECT_EQ(tunnel.dyingPid(), second);
    tunnel.start({});
    EXPECT_TRUE(tunnel.isRunning());
}

TEST_F(TunnelProcessTest, FailuresBeforeOrAtTheLaunchChangeNothing) {
    QTemporaryDir bin;
    const QString executable = bin.filePath(QStringLiteral("cloudflared"));
    ASSERT_TRUE(QFile::copy(termTrapPath(), executable));
    Tunnel& tunnel = makeTunnel(executable);
    tunnel.start({});
    const pid_t first = *tunnel.processId();
    ::kill(first, SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !tunnel.isRunning(); }));

    ASSERT_TRUE(QFile::remove(executable));
    try {
        tunnel.start(someRules);
        FAIL() << "launched without an executable";
    } catch (const FileError& error) {
        EXPECT_TRUE(error.description().contains(QStringLiteral("No such file or directory")))
            << error.description().toStdString();
        EXPECT_TRUE(error.description().contains(executable));
    }
    EXPECT_EQ(tunnel.processId(), first);
    EXPECT_TRUE(router.isListening());

    // A broken config.yml stops the start before anything is launched.
    ASSERT_TRUE(QFile::copy(termTrapPath(), executable));
    Provisioner::writeSecure("[1, 2]", tunnel.configURL());
    EXPECT_THROW(tunnel.start({}), TunnelError);
    Provisioner::writeSecure("tunnel: ID", tunnel.configURL());
    EXPECT_THROW(tunnel.start({}), JsonError);
    QFile::remove(tunnel.configURL());
    EXPECT_THROW(tunnel.start({}), FileError);
    EXPECT_EQ(tunnel.processId(), first);
    EXPECT_FALSE(tunnel.isRunning());
}

} // namespace

TEST_F(TunnelProcessTest, OnTheWayOutNoClientStaysBehindEvenOneThatTrapsSigterm) {
    Tunnel& tunnel = makeTunnel();
    tunnel.start({});
    const pid_t child = *tunnel.processId();
    ASSERT_TRUE(logShows("ready\n"));
    tunnel.stop();
    ASSERT_TRUE(logShows("TERM\n"));
    QElapsedTimer elapsed;
    elapsed.start();
    tunnel.finishStopping(std::chrono::milliseconds(300));
    // It had its grace, then SIGKILL, well before the delayed kill of stop() would come.
    EXPECT_GE(elapsed.elapsed(), 300);
    EXPECT_LT(elapsed.elapsed(), Tunnel::killDelayMs);
    EXPECT_FALSE(processExists(child));
    EXPECT_FALSE(QFile::exists(tunnel.pidFileURL()));

    // A leftover of an earlier run, ended by reapStale(), goes the same way.
    SpawnedProcess leftover(termTrapPath(), {});
    ASSERT_TRUE(leftover.waitForOutput("ready\n"));
    Provisioner::writeSecure(QByteArray::number(leftover.pid()) + "\n", tunnel.pidFileURL());
    Tunnel& next = makeTunnel();
    next.reapStale();
    ASSERT_TRUE(leftover.waitForOutput("TERM\n"));
    next.finishStopping(std::chrono::milliseconds(100));
    const std::optional<int> status = leftover.waitForExit(std::chrono::milliseconds(0));
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
}
