// Ending a cloudflared left over from an earlier run, as the pid file names it.
#include "SupervisorFixture.h"

#include <QElapsedTimer>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

enum class Name { cloudflared, otherProgram };
enum class Outcome { endedByTerm, endedByKill, untouched };

struct StaleCase {
    const char* name;
    // The pid file's text; %1 stands for the leftover's id, %2 for our own.
    const char* pidFile;
    bool obeysTerm;
    Name processName;
    Outcome outcome;
    bool fileRemoved;

    friend void PrintTo(const StaleCase& c, std::ostream* out) { *out << c.name; }
};

const StaleCase staleCases[] = {
    {"cloudflared ending on SIGTERM", " \n%1\n\t", true, Name::cloudflared, Outcome::endedByTerm,
     true},
    {"cloudflared ignoring SIGTERM", "+%1", false, Name::cloudflared, Outcome::endedByKill, true},
    {"id now of another program", "%1\n", false, Name::otherProgram, Outcome::untouched, true},
    {"process 1", "1\n", false, Name::cloudflared, Outcome::untouched, true},
    {"our own process", "%2\n", false, Name::cloudflared, Outcome::untouched, true},
    {"id followed by letters", "%1abc\n", false, Name::cloudflared, Outcome::untouched, false},
    {"letters only", "cloudflared\n", false, Name::cloudflared, Outcome::untouched, false},
    {"nothing but white space", " \n \n", false, Name::cloudflared, Outcome::untouched, false},
    {"out of range", "4294967297\n", false, Name::cloudflared, Outcome::untouched, false},
};

class ReapStaleTest : public SupervisorFixture, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(ReapStaleTest, SignalsOnlyALiveCloudflaredAndDropsEveryParsedFile) {
    const StaleCase& c = GetParam();
    QTemporaryDir bin;
    QString executable = termTrapPath();
    if (c.processName == Name::otherProgram) {
        // The process name ps reports is the name it was started under.
        executable = bin.filePath(QStringLiteral("cloudflared-old"));
        ASSERT_TRUE(QFile::link(termTrapPath(), executable));
    }
    SpawnedProcess leftover(executable,
                            c.obeysTerm ? QStringList{QStringLiteral("--obey")} : QStringList{});
    ASSERT_TRUE(leftover.waitForOutput("ready\n"));

    Tunnel& tunnel = makeTunnel();
    const QString text =
        QString::fromLatin1(c.pidFile)
            .replace(QLatin1String("%1"), QString::number(leftover.pid()))
            .replace(QLatin1String("%2"), QString::number(QCoreApplication::applicationPid()));
    Provisioner::writeSecure(text.toUtf8(), tunnel.pidFileURL());
    QElapsedTimer clock;
    clock.start();
    tunnel.reapStale();
    EXPECT_EQ(QFile::exists(tunnel.pidFileURL()), !c.fileRemoved);

    switch (c.outcome) {
    case Outcome::endedByTerm: {
        const auto status = leftover.waitForExit();
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGTERM);
        EXPECT_EQ(tunnel.dyingPid(), leftover.pid());
        break;
    }
    case Outcome::endedByKill: {
        ASSERT_TRUE(leftover.waitForOutput("TERM\n"));
        const auto status = leftover.waitForExit();
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == SIGKILL);
        EXPECT_GE(clock.elapsed(), Tunnel::killDelayMs - 100);
        break;
    }
    case Outcome::untouched:
        // A SIGTERM, had one been sent, would be handled before this later real-time signal.
        ::kill(leftover.pid(), SIGRTMIN);
        ASSERT_TRUE(leftover.waitForOutput("PING\n"));
        EXPECT_FALSE(leftover.output().contains("TERM"));
        EXPECT_FALSE(tunnel.dyingPid());
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ReapStaleTest, ::testing::ValuesIn(staleCases),
                         [](const ::testing::TestParamInfo<StaleCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

class ReapStaleFileTest : public SupervisorFixture {};

TEST_F(ReapStaleFileTest, WithoutAPidFileNothingHappens) {
    Tunnel& tunnel = makeTunnel();
    tunnel.reapStale();
    EXPECT_FALSE(tunnel.dyingPid());
    EXPECT_FALSE(QFile::exists(tunnel.pidFileURL()));
}

} // namespace
