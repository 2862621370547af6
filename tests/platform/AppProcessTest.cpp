// The real executable against the local link service on the build profile's fixed ports: how
// it quits on signals and on the system's quit, its login item, its single instance, its log.
#include "LocalParties.h"
#include "app/LinksFile.h"
#include "platform/Autostart.h"
#include "platform/SingleInstance.h"
#include "service/Provisioner.h"
#include "service/Settle.h"
#include "support/PrivateSystemBus.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// The link service address compiled into the local profile.
constexpr quint16 profileApiPort = 20250;
constexpr std::chrono::milliseconds quitLimit = 3000ms;
constexpr std::chrono::milliseconds slack = 2000ms;

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.start(home.filePath(QStringLiteral("service.json")),
                                  {QStringLiteral("--ephemeral")}, profileApiPort))
            << "port " << profileApiPort << " is taken";
        for (const char* dir : {"data", "config", "runtime"})
            ASSERT_TRUE(QDir(home.path()).mkpath(QString::fromLatin1(dir)));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        provisioner = Provisioner(supportDir(), service.api(QString()));
        ASSERT_TRUE(settle(provisioner.install()).ok());
        mintLinks();
    }
    // Mints two links and saves them as the app's links; `hosts` holds them, sorted.
    void mintLinks() {
        hosts.clear();
        QList<ShareLink> links;
        for (const qint64 port : {3000, 3001}) {
            const auto minted = settle(provisioner.mint(port));
            ASSERT_TRUE(minted.ok());
            hosts.append(minted.value->host);
            links.append(
                {minted.value->host, port,
                 QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(minted.value->expiresAt)),
                 QStringLiteral("web")});
        }
        hosts.sort();
        QSaveFile file(linksPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(*LinksFile::encode(links));
        ASSERT_TRUE(file.commit());
    }
    void TearDown() override {
        for (auto& app : apps)
            if (app->state() != QProcess::NotRunning) {
                app->kill();
                app->waitForFinished();
            }
    }

    QString supportDir() const { return home.filePath(QStringLiteral("data/skerrow")); }
    QString linksPath() const { return supportDir() + QStringLiteral("/links.json"); }
    QString socketPath() const {
        return home.filePath(QStringLiteral("runtime/")) +
               QLatin1String(SingleInstance::socketName);
    }
    QString autostartDir() const { return home.filePath(QStringLiteral("config/autostart")); }

    // The user's session, without a system bus unless a test gives one.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
        // Nor a session bus: a later start reaches the first through the lock's socket.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // Starts the app and waits until it has started up (it then answers later starts).
    QProcess& start(const QProcessEnvironment& env) {
        apps.push_back(std::make_unique<QProcess>());
        QProcess& app = *apps.back();
        app.setProcessEnvironment(env);
        app.setProcessChannelMode(QProcess::MergedChannels);
        app.start(QStringLiteral(SKERROW_APP_PATH), {});
        EXPECT_TRUE(waitUntil(
            [&] { return QFile::exists(socketPath()) || app.state() == QProcess::NotRunning; }));
        EXPECT_EQ(app.state(), QProcess::Running) << app.readAll().constData();
        return app;
    }

    // Sends the signal and waits for the exit; true when the app exited with 0 within the quit
    // limit and the slack.
    static bool quitsCleanly(QProcess& app, int signal) {
        QElapsedTimer elapsed;
        elapsed.start();
        ::kill(static_cast<pid_t>(app.processId()), signal);
        const bool exited = app.waitForFinished(static_cast<int>((quitLimit + slack).count()));
        EXPECT_LE(elapsed.elapsed(), (quitLimit + slack).count());
        EXPECT_EQ(app.exitStatus(), QProcess::NormalExit) << app.readAll().constData();
        EXPECT_EQ(app.exitCode(), 0) << app.readAll().constData();
        return exited && app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
    }

    // The hosts whose end the service received, one entry per request.
    QStringList endedHosts() const {
        QStringList ended = endedLinkHosts(service);
        ended.sort();
        return ended;
    }
    void armFault(const QJsonObject& fault) const {
        const HttpResult result = httpCall("POST", service.control(QStringLiteral("/faults")),
                                           QJsonDocument(fault).toJson(QJsonDocument::Compact));
        ASSERT_EQ(result.status, 200) << result.body.constData();
    }

    QTemporaryDir home;
    ServiceProcess service;
    Provisioner provisioner;
    QStringList hosts;
    std::vector<std::unique_ptr<QProcess>> apps;
};

TEST_F(AppProcess, EachQuitSignalEndsEveryLinkAndExitsCleanly) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        if (signal != SIGTERM)
            mintLinks();
        const QStringList before = endedHosts();
        QProcess& app = start(environment());
        ASSERT_TRUE(quitsCleanly(app, signal)) << signal;
        QStringList ended = endedHosts();
        for (const QString& host : before)
            ended.removeOne(host);
        EXPECT_EQ(ended, hosts) << signal;
        EXPECT_EQ(read(linksPath()), QByteArray("[]")) << signal;
        EXPECT_FALSE(QFile::exists(supportDir() + QStringLiteral("/pending-kills.json")));
    }
}

TEST_F(AppProcess, ASecondSignalDuringTheShutdownStartsNoSecondOne) {
    armFault({{QStringLiteral("method"), QStringLiteral("DELETE")},
              {QStringLiteral("path"), QStringLiteral("/v1/links/*")},
              {QStringLiteral("delay"), 1.5},
              {QStringLiteral("count"), 2}});
    QProcess& app = start(environment());
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return endedHosts().size() == 2; }));
    ASSERT_TRUE(quitsCleanly(app, SIGINT));
    EXPECT_EQ(endedHosts(), hosts);
}

TEST_F(AppProcess, TheSystemsQuitKeepsTheLinksForTheNextStart) {
    PrivateSystemBus bus;
    ASSERT_TRUE(bus.start());
    const QProcessEnvironment env = bus.environment(environment());
    const QByteArray saved = read(linksPath());
    const std::function<bool()> announcements[] = {
        [&] { return bus.emitPrepareForShutdown(true); },
        [&] { return bus.setSessionState(QStringLiteral("closing")); },
    };
    for (const auto& announce : announcements) {
        QProcess& app = start(env);
        ASSERT_TRUE(announce());
        ASSERT_TRUE(quitsCleanly(app, SIGTERM));
        EXPECT_EQ(read(linksPath()), saved);
        EXPECT_TRUE(endedHosts().isEmpty());
        EXPECT_FALSE(QFile::exists(supportDir() + QStringLiteral("/pending-kills.json")));
        ASSERT_TRUE(bus.emitPrepareForShutdown(false));
        ASSERT_TRUE(bus.setSessionState(QStringLiteral("active")));
    }
    // The links came back: the user's quit of the next run ends them.
    QProcess& next = start(env);
    ASSERT_TRUE(quitsCleanly(next, SIGTERM));
    EXPECT_EQ(endedHosts(), hosts);
}

TEST_F(AppProcess, ASecondStartLeavesAndTheFirstRunsOn) {
    QProcess& first = start(environment());
    const QByteArray saved = read(linksPath());
    QProcess second;
    second.setProcessEnvironment(environment());
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.start(QStringLiteral(SKERROW_APP_PATH), {});
    ASSERT_TRUE(
        second.waitForFinished(static_cast<int>((SingleInstance::requestTimeout + slack).count())));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAll().constData();
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(read(linksPath()), saved);
    EXPECT_TRUE(quitsCleanly(first, SIGTERM));
}

TEST_F(AppProcess, TheLoginItemIsWrittenOrSkippedWithoutAWord) {
    const QString entry = autostartDir() + QLatin1Char('/') + QLatin1String(Autostart::fileName);
    QProcess& app = start(environment());
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(entry); }));
    EXPECT_EQ(read(entry), Autostart::entryText(QStringLiteral(SKERROW_APP_PATH)));
    ASSERT_TRUE(quitsCleanly(app, SIGTERM));

    // A file where the autostart folder belongs: the app starts and quits as usual, silently.
    ASSERT_TRUE(QDir(autostartDir()).removeRecursively());
    QFile blocker(autostartDir());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess& blocked = start(environment());
    ASSERT_TRUE(quitsCleanly(blocked, SIGTERM));
    EXPECT_FALSE(blocked.readAll().contains("autostart"));
}

TEST_F(AppProcess, StateLinesReachStandardErrorWithTheirLevelWithoutAJournal) {
    armFault({{QStringLiteral("method"), QStringLiteral("GET")},
              {QStringLiteral("path"), QStringLiteral("/v1/links")},
              {QStringLiteral("status"), 500},
              {QStringLiteral("count"), 1}});
    QProcess& app = start(environment());
    QByteArray output;
    EXPECT_TRUE(waitUntil([&] {
        output += app.readAll();
        return output.contains("error dev.skerrow.state: reconcile failed");
    })) << output.constData();
    EXPECT_TRUE(quitsCleanly(app, SIGTERM));
}

} // namespace
