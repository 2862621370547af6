#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <QTextStream>

// `skerrow <command>`: drives the running app over the session bus, starting it when it is not
// running. Results go to standard output alone, errors to standard error, and each kind of
// failure has an exit code of its own.
namespace CommandLine {

enum Exit : int {
    ok = 0,
    usage = 2,
    unreachable = 3,
    portNotRunning = 4,
    notReady = 5,
    busy = 6,
    unknownLink = 7,
    failed = 8,
    notAnswering = 9,
};

// True when the arguments (without the program's name) ask for a command rather than the app.
bool isCommand(const QStringList& arguments);

int run(const QStringList& arguments, const QDBusConnection& bus, QTextStream& out,
        QTextStream& err);

QString helpText();

} // namespace CommandLine
