// A background step that fails shows why on the status line; once the step succeeds its text
// goes, but a text a user action put there meanwhile stays.
#include "AppStateTestAccess.h"
#include "LiveApp.h"
#include "tunnel/TunnelError.h"

using namespace std::chrono_literals;

namespace {

const QString portNotRunning = QStringLiteral("Port not running");

class StatusLine : public LiveApp {
protected:
    // A user action with a text of its own: renewing a link whose app is not running.
    static void userAction(AppState& app) {
        app.refresh(ShareLink{QStringLiteral("gone.localhost"), freePort(), {}, {}});
        ASSERT_EQ(app.statusMessage(), portNotRunning);
    }
    static std::optional<QString> expectedAfterSuccess(bool userActed) {
        return userActed ? std::optional<QString>(portNotRunning) : std::nullopt;
    }
};

TEST_F(StatusLine, AFailedReconciliationsTextGoesWhenTheRetrySucceeds) {
    for (const bool userActs : {false, true}) {
        SCOPED_TRACE(userActs ? "after a user action" : "alone");
        service.armFault(fault("GET", QStringLiteral("/v1/links"), status(503)));
        const auto app = startApp(50ms);
        ASSERT_TRUE(waitUntil([&] { return app->statusMessage().has_value(); }, 5s));
        EXPECT_TRUE(app->statusMessage()->contains(QStringLiteral("503")));
        if (userActs)
            userAction(*app);
        clockAhead += 10;
        ASSERT_TRUE(waitUntil([&] { return AppStateTestAccess(*app).reconciled(); }, 5s));
        EXPECT_EQ(app->statusMessage(), expectedAfterSuccess(userActs));
    }
}

TEST_F(StatusLine, AFailedTunnelStartsTextGoesWhenTheTunnelStarts) {
    const QString configURL = provisioner.fileURL(QStringLiteral("config.yml"));
    QFile file(configURL);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray config = file.readAll();
    file.close();
    for (const bool userActs : {false, true}) {
        SCOPED_TRACE(userActs ? "after a user action" : "alone");
        Provisioner::writeSecure(QByteArray("[]"), configURL);
        const auto app = startApp(100ms);
        ASSERT_TRUE(waitUntil(
            [&] { return app->statusMessage() == TunnelError::badConfig().description(); }, 5s));
        if (userActs)
            userAction(*app);
        Provisioner::writeSecure(config, configURL);
        ASSERT_TRUE(waitUntil([&] { return app->tunnelSupervisor().isRunning(); }, 5s));
        EXPECT_EQ(app->statusMessage(), expectedAfterSuccess(userActs));
    }
}

} // namespace
