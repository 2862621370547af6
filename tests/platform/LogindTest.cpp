#include "platform/FourCC.h"
#include "platform/SystemQuitObserver.h"
#include "platform/WakeObserver.h"
#include "support/PrivateSystemBus.h"
#include "support/Wait.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class Logind : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(bus.start()); }
    PrivateSystemBus bus;
};

TEST_F(Logind, WakeIsTheEndOfASleep) {
    WakeObserver observer(bus.connection());
    QSignalSpy woke(&observer, &WakeObserver::woke);
    ASSERT_TRUE(bus.emitPrepareForSleep(true));
    // A round trip on the same connection brings the announcement in before its answer.
    ASSERT_TRUE(bus.setPidLookup(true));
    QCoreApplication::processEvents();
    EXPECT_EQ(woke.count(), 0);
    ASSERT_TRUE(bus.emitPrepareForSleep(false));
    EXPECT_TRUE(waitUntil([&] { return woke.count() == 1; }));
}

TEST_F(Logind, QuitReasonFollowsShutdownAndSession) {
    constexpr quint32 shut = fourCC("shut");
    constexpr quint32 logo = fourCC("logo");
    struct Case {
        const char* name;
        bool shutdown;
        QString state;
        bool pidLookup;
        std::optional<quint32> reason;
    };
    const Case cases[] = {
        {"active session", false, QStringLiteral("active"), true, std::nullopt},
        {"online session", false, QStringLiteral("online"), true, std::nullopt},
        {"no session", false, QString(), true, std::nullopt},
        {"restart or shut-down", true, QStringLiteral("active"), true, shut},
        {"log-out", false, QStringLiteral("closing"), true, logo},
        {"log-out outside the session's scope", false, QStringLiteral("closing"), false, logo},
        {"no session outside a scope", false, QString(), false, std::nullopt},
    };
    for (const Case& c : cases) {
        SystemQuitObserver observer(bus.connection());
        ASSERT_TRUE(bus.setSessionState(c.state));
        ASSERT_TRUE(bus.setPidLookup(c.pidLookup));
        ASSERT_TRUE(bus.emitPrepareForShutdown(c.shutdown));
        // A cancelled shut-down announced earlier must have reached the observer.
        ASSERT_TRUE(waitUntil([&] { return observer.quitReason() == c.reason; })) << c.name;
    }
}

TEST_F(Logind, ACancelledShutdownMakesTheNextQuitTheUsers) {
    SystemQuitObserver observer(bus.connection());
    ASSERT_TRUE(bus.emitPrepareForShutdown(true));
    ASSERT_TRUE(waitUntil([&] { return observer.quitReason() == fourCC("shut"); }));
    ASSERT_TRUE(bus.emitPrepareForShutdown(false));
    EXPECT_TRUE(waitUntil([&] { return !observer.quitReason(); }));
}

TEST_F(Logind, AnnouncedShutdownOutlivesLogind) {
    SystemQuitObserver observer(bus.connection());
    ASSERT_TRUE(bus.emitPrepareForShutdown(true));
    ASSERT_TRUE(waitUntil([&] { return observer.quitReason() == fourCC("shut"); }));
    bus.stopLogind();
    // Without the property to ask, the announcement the observer heard still decides.
    QCoreApplication::processEvents();
    EXPECT_EQ(observer.quitReason(), fourCC("shut"));
}

// Collects the warnings Qt prints while it is alive.
class WarningCapture {
public:
    WarningCapture() {
        captured().clear();
        previous_ = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    captured().append(message);
            });
    }
    ~WarningCapture() { qInstallMessageHandler(previous_); }
    static QStringList& captured() {
        static QStringList messages;
        return messages;
    }

private:
    QtMessageHandler previous_;
};

TEST(LogindAbsent, NoBusMeansNoEventsAndEveryQuitIsTheUsers) {
    const WarningCapture warnings;
    const QDBusConnection none = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/system_bus_socket"), QStringLiteral("no-bus"));
    WakeObserver wake(none);
    const SystemQuitObserver quit(none);
    EXPECT_FALSE(quit.quitReason());
    QDBusConnection::disconnectFromBus(QStringLiteral("no-bus"));
    EXPECT_TRUE(WarningCapture::captured().isEmpty())
        << WarningCapture::captured().join(u'\n').toStdString();
}

TEST_F(Logind, NoLogindOnTheBusMeansEveryQuitIsTheUsers) {
    bus.stopLogind();
    const WarningCapture warnings;
    WakeObserver wake(bus.connection());
    const SystemQuitObserver quit(bus.connection());
    EXPECT_FALSE(quit.quitReason());
    EXPECT_TRUE(WarningCapture::captured().isEmpty())
        << WarningCapture::captured().join(u'\n').toStdString();
}

TEST(FourCC, ReadsTheBytesBigEndian) {
    EXPECT_EQ(fourCC("aevt"), 0x61657674u);
    EXPECT_EQ(fourCC("quit"), 0x71756974u);
    EXPECT_EQ(fourCC("why?"), 0x7768793Fu);
    EXPECT_EQ(fourCC(""), 0u);
}

} // namespace
