// `skerrow <command>` from a shell against the real app on a private session bus: the bus starts
// the app from its service file, the link service is the local one on the profile's ports.
#include "LocalParties.h"
#include "service/Provisioner.h"
#include "service/Settle.h"
#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <csignal>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr quint16 profileApiPort = 20250;
const QString appName = QStringLiteral("dev.skerrow.Skerrow");
const QString pageTitle = QStringLiteral("Harbor storefront");
// A share waits up to a minute for its link; the rest is the app's start and the mint.
constexpr int commandTimeoutMs = 150000;
constexpr int secondStartLimitMs = 10000;
constexpr quint16 firstDevPort = 5173;
constexpr quint16 lastDevPort = 9999;

struct Result {
    int exit = -1;
    QString out;
    QString err;
};

class ControlFromTheShell : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service.start(home.filePath(QStringLiteral("service.json")),
                                  {QStringLiteral("--ephemeral")}, profileApiPort))
            << "port " << profileApiPort << " is taken";
        for (const char* dir : {"data", "config", "runtime", "services", "storefront"})
            ASSERT_TRUE(QDir(home.path()).mkpath(QString::fromLatin1(dir)));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ExeOwner);
        Provisioner provisioner(home.filePath(QStringLiteral("data/skerrow")),
                                service.api(QString()));
        ASSERT_TRUE(settle(provisioner.install()).ok());
        writeServiceFile();
        ASSERT_TRUE(bus.start(home.filePath(QStringLiteral("services")), environment()));
        startDevServer();
    }

    void TearDown() override {
        // The app is the bus's child, not ours: it is found by the name it owns.
        const QDBusConnectionInterface* names = bus.connection().interface();
        if (names->isServiceRegistered(appName)) {
            const auto pid = static_cast<pid_t>(names->servicePid(appName).value());
            ::kill(pid, SIGTERM);
            EXPECT_TRUE(waitUntil([&] { return !names->isServiceRegistered(appName); }, 10s));
        }
        devServer.kill();
        devServer.waitForFinished();
    }

    void writeServiceFile() {
        QFile templ(QStringLiteral(SKERROW_SERVICE_TEMPLATE));
        ASSERT_TRUE(templ.open(QIODevice::ReadOnly));
        QByteArray text = templ.readAll();
        text.replace("@SKERROW_SERVICE_EXEC@", SKERROW_APP_PATH);
        QFile file(home.filePath(QStringLiteral("services/dev.skerrow.Skerrow.service")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // Discovery lists only ports below 10000: the first free one from a dev server's usual port.
    static quint16 freeDevPort() {
        for (quint16 port = firstDevPort; port < lastDevPort; ++port) {
            QTcpServer probe;
            if (probe.listen(QHostAddress::LocalHost, port))
                return port;
        }
        return 0;
    }

    void startDevServer() {
        devPort = freeDevPort();
        ASSERT_NE(devPort, 0);
        devServer.setWorkingDirectory(home.filePath(QStringLiteral("storefront")));
        devServer.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(SKERROW_DEV_SERVER_PATH), QStringLiteral("--port"),
                         QString::number(devPort), QStringLiteral("--title"), pageTitle});
        ASSERT_TRUE(waitUntil([&] { return devServer.canReadLine(); }))
            << devServer.readAllStandardError().constData();
        ASSERT_TRUE(devServer.readLine().startsWith("listening"));
    }

    // The user's session, without a system bus.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"),
                   QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-bus")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    Result run(const QStringList& arguments) const {
        return runIn(bus.environment(environment()), arguments);
    }
    static Result runIn(const QProcessEnvironment& env, const QStringList& arguments) {
        QProcess command;
        command.setProcessEnvironment(env);
        command.start(QStringLiteral(SKERROW_APP_PATH), arguments);
        Result result;
        if (!command.waitForFinished(commandTimeoutMs))
            return result;
        result.exit = command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
        result.out = QString::fromUtf8(command.readAllStandardOutput());
        result.err = QString::fromUtf8(command.readAllStandardError());
        return result;
    }

    // The URL `share` printed: one line and nothing else.
    QString share() const {
        const Result shared = run({QStringLiteral("share"), QString::number(devPort)});
        EXPECT_EQ(shared.exit, 0) << shared.err.toStdString();
        EXPECT_TRUE(shared.out.endsWith(QLatin1Char('\n')) &&
                    shared.out.count(QLatin1Char('\n')) == 1)
            << shared.out.toStdString();
        return shared.out.trimmed();
    }

    QJsonArray listed() const {
        const Result listing = run({QStringLiteral("list"), QStringLiteral("--json")});
        EXPECT_EQ(listing.exit, 0) << listing.err.toStdString();
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(listing.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << listing.out.toStdString();
        return document.array();
    }

    // The hosts whose end the service received.
    QStringList endedHosts() const { return endedLinkHosts(service); }

    static QString hostOf(const QString& url) { return QUrl(url).authority(); }

    QTemporaryDir home;
    ServiceProcess service;
    PrivateSessionBus bus;
    QProcess devServer;
    quint16 devPort = 0;
};

TEST_F(ControlFromTheShell, ShareStartsTheAppAndPrintsAUrlThatServesTheApp) {
    ASSERT_FALSE(bus.connection().interface()->isServiceRegistered(appName));
    const QString url = share();
    EXPECT_TRUE(bus.connection().interface()->isServiceRegistered(appName));
    const HttpResult page = httpCall("GET", url);
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains(pageTitle.toUtf8())) << page.body.constData();
}

TEST_F(ControlFromTheShell, ListRenewAndStopDriveTheLinkAtTheService) {
    const QString url = share();
    ASSERT_EQ(httpCall("GET", url).status, 200);
    const QJsonArray links = listed();
    ASSERT_EQ(links.size(), 1);
    const QJsonObject link = links.first().toObject();
    EXPECT_EQ(link.value(QStringLiteral("url")).toString(), url);
    EXPECT_EQ(link.value(QStringLiteral("host")).toString(), hostOf(url));
    EXPECT_EQ(link.value(QStringLiteral("port")).toInteger(), devPort);
    EXPECT_EQ(link.value(QStringLiteral("project")).toString(), QStringLiteral("storefront"));
    EXPECT_EQ(link.value(QStringLiteral("visitors")).toInteger(), 1);
    EXPECT_TRUE(
        QDateTime::fromString(link.value(QStringLiteral("expiresAt")).toString(), Qt::ISODate)
            .isValid());

    const Result renewed = run({QStringLiteral("renew"), hostOf(url)});
    ASSERT_EQ(renewed.exit, 0) << renewed.err.toStdString();
    const QString renewedUrl = renewed.out.trimmed();
    EXPECT_NE(renewedUrl, url);
    EXPECT_EQ(endedHosts(), QStringList{hostOf(url)});
    EXPECT_EQ(httpCall("GET", renewedUrl).status, 200);

    const Result stopped = run({QStringLiteral("stop"), QString::number(devPort)});
    EXPECT_EQ(stopped.exit, 0) << stopped.err.toStdString();
    EXPECT_EQ(endedHosts(), (QStringList{hostOf(url), hostOf(renewedUrl)}));
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(ControlFromTheShell, EachKindOfFailureHasItsOwnExitAndWritesOnlyToStandardError) {
    struct Case {
        QStringList arguments;
        int exit;
        QString message;
    };
    const Case cases[] = {
        {{QStringLiteral("share"), QStringLiteral("1")}, 4, QStringLiteral("Port not running")},
        {{QStringLiteral("stop"), QStringLiteral("nowhere.example")},
         7,
         QStringLiteral("No link nowhere.example")},
        {{QStringLiteral("stop"), QStringLiteral("4")}, 7, QStringLiteral("no link on port 4")},
        {{QStringLiteral("renew"), QStringLiteral("nowhere.example")},
         7,
         QStringLiteral("No link nowhere.example")},
        {{QStringLiteral("share")}, 2, QStringLiteral("share takes one port number")},
        {{QStringLiteral("list"), QStringLiteral("--yaml")},
         2,
         QStringLiteral("list takes only --json")},
        {{QStringLiteral("frobnicate")}, 2, QStringLiteral("unknown command: frobnicate")},
    };
    for (const Case& c : cases) {
        const Result result = run(c.arguments);
        EXPECT_EQ(result.exit, c.exit) << c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
        EXPECT_TRUE(result.err.contains(c.message)) << result.err.toStdString();
    }

    QProcessEnvironment noBus = environment();
    noBus.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                 QStringLiteral("unix:path=") + home.filePath(QStringLiteral("no-session-bus")));
    const Result unreachable = runIn(noBus, {QStringLiteral("list")});
    EXPECT_EQ(unreachable.exit, 3) << unreachable.err.toStdString();
    EXPECT_TRUE(unreachable.out.isEmpty());
}

TEST_F(ControlFromTheShell, ASecondStartActivatesTheRunningAppOverTheBusAndLeaves) {
    ASSERT_EQ(run({QStringLiteral("open")}).exit, 0);
    const QDBusConnectionInterface* names = bus.connection().interface();
    const uint first = names->servicePid(appName).value();
    // Another runtime folder: the lock there is free, so only the bus can tell the second start
    // that the app runs already.
    QProcessEnvironment elsewhere = bus.environment(environment());
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("runtime-2")));
    elsewhere.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime-2")));
    QProcess second;
    second.setProcessEnvironment(elsewhere);
    second.start(QStringLiteral(SKERROW_APP_PATH), {});
    ASSERT_TRUE(second.waitForFinished(secondStartLimitMs)) << "the second start kept running";
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
    EXPECT_EQ(names->servicePid(appName).value(), first);
    EXPECT_EQ(run({QStringLiteral("--help")}).exit, 0);
}

} // namespace
