// A stand-in for logind on a private system bus: the manager with its sleep and shutdown
// announcements and session lookups, and one session whose state tests choose. Tests drive it
// through a control object on the same bus. Prints "ready" once it owns logind's name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <cstdio>

namespace {

const QString sessionPath = QStringLiteral("/org/freedesktop/login1/session/c1");

struct Fixture {
    QString sessionState = QStringLiteral("active"); // empty: the process is in no session
    bool pidLookup = true;                           // false: only "auto" finds the session
    bool preparingForShutdown = false;
};

class Manager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
    Q_PROPERTY(bool PreparingForShutdown READ preparingForShutdown)
public:
    explicit Manager(Fixture& fixture) : fixture_(fixture) {}
    bool preparingForShutdown() const { return fixture_.preparingForShutdown; }

public Q_SLOTS:
    QDBusObjectPath GetSessionByPID(uint) {
        if (!fixture_.pidLookup)
            return noSession();
        return GetSession(QStringLiteral("self"));
    }
    QDBusObjectPath GetSession(const QString& id) {
        if (fixture_.sessionState.isEmpty() ||
            (id != QStringLiteral("self") && id != QStringLiteral("auto")))
            return noSession();
        return QDBusObjectPath(sessionPath);
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
    void PrepareForShutdown(bool start);

private:
    QDBusObjectPath noSession() {
        sendErrorReply(QStringLiteral("org.freedesktop.login1.NoSessionForPID"),
                       QStringLiteral("PID does not belong to any known session"));
        return {};
    }
    Fixture& fixture_;
};

class Session : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Session")
    Q_PROPERTY(QString State READ state)
public:
    explicit Session(const Fixture& fixture) : fixture_(fixture) {}
    QString state() const { return fixture_.sessionState; }

private:
    const Fixture& fixture_;
};

class Control : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.skerrow.test.LogindControl")
public:
    Control(Fixture& fixture, Manager& manager) : fixture_(fixture), manager_(manager) {}

public Q_SLOTS:
    void EmitPrepareForSleep(bool start) { Q_EMIT manager_.PrepareForSleep(start); }
    void EmitPrepareForShutdown(bool start) {
        fixture_.preparingForShutdown = start;
        Q_EMIT manager_.PrepareForShutdown(start);
    }
    void SetSessionState(const QString& state) { fixture_.sessionState = state; }
    void SetPidLookup(bool works) { fixture_.pidLookup = works; }

private:
    Fixture& fixture_;
    Manager& manager_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    Fixture fixture;
    Manager manager(fixture);
    Session session(fixture);
    Control control(fixture, manager);
    const auto exported = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                          QDBusConnection::ExportAllProperties;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager, exported) ||
        !bus.registerObject(sessionPath, &session, exported) ||
        !bus.registerObject(QStringLiteral("/control"), &control, exported) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "cannot serve logind on the bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

#include "StandInLogind.moc"
