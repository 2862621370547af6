// The app's quit decision alone, in a GUI process of its own that a session manager can reach:
// it prints "ready" once running, "commit" when the session manager asks it to commit its data,
// and at its termination the path the quit takes, "suspend" or "shutdown". "quit" on standard
// input asks it to quit as the panel's Quit button does.
#include "app/Lifecycle.h"
#include "platform/SystemQuitObserver.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QDBusConnection noBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/system_bus_socket"), QStringLiteral("no-bus"));
    const SystemQuitObserver observer(noBus);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [] { say("commit"); });
    Lifecycle lifecycle([&observer] { return observer.quitReason(); },
                        {[] { say("suspend"); }, [](double) { say("shutdown"); }});
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) > 0)
            lifecycle.terminate();
    });
    say("ready");
    return QGuiApplication::exec();
}
