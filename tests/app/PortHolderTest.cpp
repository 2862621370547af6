// Another program on the tunnel client's metrics port: the user's own cloudflared, started
// before the app, holds it, so the app's client can never become ready.
#include "LiveApp.h"
#include "app/HealthTexts.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace std::chrono_literals;

namespace {

class PortHolder : public LiveApp {
protected:
    void SetUp() override {
        LiveApp::SetUp();
        const ShareLink link = mint(3000);
        saveLinks({link});
        scanned = {row(3000, "shop")};
        listPorts = true;
        metricsPort = freePort();
        startUsersClient();
    }

    // A second install in a directory of its own, run by the user's own client with its metrics
    // on the app's metrics port.
    void startUsersClient() {
        const Provisioner user(userDir.path(), service.apiBase());
        ASSERT_TRUE(settle(user.install()).ok());
        QFile file(userDir.filePath(QStringLiteral("config.yml")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QJsonObject config = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        config.insert(QStringLiteral("metrics"), QStringLiteral("127.0.0.1:%1").arg(*metricsPort));
        Provisioner::writeSecure(QJsonDocument(config).toJson(), file.fileName());
        ASSERT_TRUE(usersClient.start(userDir.path()));
        const QString ready = QStringLiteral("http://127.0.0.1:%1/ready").arg(*metricsPort);
        ASSERT_TRUE(waitUntil([&] { return httpCall("GET", ready).status != 0; }, 10s));
    }
    bool refreshesPass() {
        const int seen = scans;
        return waitUntil([&] { return scans >= seen + 2; }, 10s);
    }

    QTemporaryDir userDir;
    TunnelProcess usersClient;
};

TEST_F(PortHolder, TheHolderIsNamedAndTheInstallIsNotResetForIt) {
    const auto app = startApp(250ms);
    const QString held = HealthTexts::portHeld(*metricsPort, QStringLiteral("cloudflared"),
                                               usersClient.process().processId());
    ASSERT_TRUE(waitUntil([&] { return app->statusMessage() == held; }, 15s))
        << app->statusMessage().value_or(QString()).toStdString();
    EXPECT_EQ(held, QStringLiteral("Port %1 in use by cloudflared (pid %2) \u2014 waiting\u2026")
                        .arg(*metricsPort)
                        .arg(usersClient.process().processId()));

    // Far longer than the restarts and the service check take on a path that stays broken.
    for (int step = 0; step < 6; ++step) {
        clockAhead += 50;
        ASSERT_TRUE(refreshesPass());
    }
    EXPECT_TRUE(calls("DELETE", QStringLiteral("/v1/install")).isEmpty());
    EXPECT_TRUE(app->configured());
    EXPECT_EQ(app->links().size(), 1);
    EXPECT_EQ(app->statusMessage(), held);

    // Once the port is free the app's own client takes it and the text goes.
    usersClient.process().terminate();
    ASSERT_TRUE(usersClient.process().waitForFinished(5000));
    EXPECT_TRUE(waitUntil([&] { return app->tunnelReady() && app->statusMessage() != held; }, 15s));
}

} // namespace
