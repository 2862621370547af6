// The notification client against a stand-in server on a private session bus.
#include "notify/DesktopNotifications.h"

#include "support/PrivateSessionBus.h"
#include "support/Wait.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString serverName = QStringLiteral("org.freedesktop.Notifications");
const QString serverPath = QStringLiteral("/org/freedesktop/Notifications");

struct Shown {
    QString app;
    uint replaces = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
};

// Records every notification and hands out ids as a desktop's server does.
class StandInServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit StandInServer(QStringList capabilities) : capabilities_(std::move(capabilities)) {}

    QList<Shown> shown;

public Q_SLOTS:
    QStringList GetCapabilities() const { return capabilities_; }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int /*timeout*/) {
        shown.append({app, replaces, icon, summary, body, actions, hints});
        return replaces != 0 ? replaces : ++lastId_;
    }

private:
    QStringList capabilities_;
    uint lastId_ = 0;
};

class Notifications : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(services.isValid());
        ASSERT_TRUE(bus.start(services.path(), QProcessEnvironment::systemEnvironment()));
    }
    void TearDown() override { QDBusConnection::disconnectFromBus(serverConnection); }

    // Puts a server on the bus through a connection of its own.
    void serve(StandInServer& server) {
        QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), serverConnection);
        ASSERT_TRUE(
            connection.registerObject(serverPath, &server, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(connection.registerService(serverName));
        ASSERT_TRUE(waitUntil(
            [&] { return bus.connection().interface()->isServiceRegistered(serverName).value(); }));
    }
    void invoke(uint id, const QString& action) const {
        QDBusMessage signal =
            QDBusMessage::createSignal(serverPath, serverName, QStringLiteral("ActionInvoked"));
        signal << id << action;
        QDBusConnection::connectToBus(bus.address(), serverConnection).send(signal);
    }

    QTemporaryDir services;
    PrivateSessionBus bus;
    const QString serverConnection = QStringLiteral("stand-in-notification-server");
    QList<std::pair<QString, QString>> clicked;
    DesktopNotifications::ActionHandler record = [this](const QString& key, const QString& action) {
        clicked.append({key, action});
    };
};

TEST_F(Notifications, CarryTheAppsNameIconEntryAndActionsAndReplaceTheirKeysLastOne) {
    StandInServer server({QStringLiteral("body"), QStringLiteral("actions")});
    serve(server);
    DesktopNotifications notifications(bus.connection(), record);
    const QList<DesktopNotifications::Action> copy{
        {QStringLiteral("copy"), QStringLiteral("Copy link")}};
    notifications.show(QStringLiteral("a.example"), QStringLiteral("Someone opened storefront"),
                       QStringLiteral("http://a.example"), copy);
    notifications.show(QStringLiteral("b.example"), QStringLiteral("Someone opened notes"),
                       QStringLiteral("http://b.example"), {});
    notifications.show(QStringLiteral("a.example"),
                       QStringLiteral("storefront expires in 5 minutes"), QString(), {});
    ASSERT_TRUE(waitUntil([&] { return server.shown.size() == 3; }));

    const Shown& first = server.shown[0];
    EXPECT_EQ(first.app, QStringLiteral("Skerrow"));
    EXPECT_EQ(first.icon, QStringLiteral("dev.skerrow.Skerrow"));
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("dev.skerrow.Skerrow"));
    EXPECT_EQ(first.replaces, 0U);
    EXPECT_EQ(first.actions, (QStringList{QStringLiteral("default"), QString(),
                                          QStringLiteral("copy"), QStringLiteral("Copy link")}));
    EXPECT_EQ(server.shown[1].replaces, 0U);
    EXPECT_TRUE(server.shown[1].actions.isEmpty());
    EXPECT_EQ(server.shown[2].replaces, 1U);

    invoke(1, QStringLiteral("copy"));
    invoke(2, QStringLiteral("default"));
    ASSERT_TRUE(waitUntil([&] { return clicked.size() == 2; }));
    EXPECT_EQ(clicked[0], std::make_pair(QStringLiteral("a.example"), QStringLiteral("copy")));
    EXPECT_EQ(clicked[1], std::make_pair(QStringLiteral("b.example"), QStringLiteral("default")));
}

TEST_F(Notifications, OfferNoActionsWhereTheServerListsNone) {
    StandInServer server({QStringLiteral("body")});
    serve(server);
    DesktopNotifications notifications(bus.connection(), record);
    notifications.show(QStringLiteral("a.example"), QStringLiteral("Someone opened storefront"),
                       QString(), {{QStringLiteral("copy"), QStringLiteral("Copy link")}});
    ASSERT_TRUE(waitUntil([&] { return server.shown.size() == 1; }));
    EXPECT_TRUE(server.shown[0].actions.isEmpty());
}

TEST_F(Notifications, ComeToNothingWithoutAServerAndReachOneThatCameLater) {
    DesktopNotifications notifications(bus.connection(), record);
    notifications.show(QStringLiteral("a.example"), QStringLiteral("lost"), QString(), {});
    ASSERT_TRUE(waitUntil([&] { return !notifications.hasPending(); }));
    StandInServer server({QStringLiteral("actions")});
    serve(server);
    notifications.show(QStringLiteral("a.example"), QStringLiteral("found"), QString(),
                       {{QStringLiteral("copy"), QStringLiteral("Copy link")}});
    ASSERT_TRUE(waitUntil([&] { return !server.shown.isEmpty(); }));
    EXPECT_EQ(server.shown.size(), 1);
    EXPECT_EQ(server.shown[0].summary, QStringLiteral("found"));
    EXPECT_EQ(server.shown[0].actions.size(), 4);
}

} // namespace

#include "DesktopNotificationsTest.moc"
