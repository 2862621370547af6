#pragma once

#include <QString>
#include <QStringList>
#include <optional>

struct ClientArguments {
    // Set when the program should run: the configuration file as given.
    std::optional<QString> configPath;
    // Otherwise the text to print and the exit code (0 for --help, 2 for a usage error).
    QString message;
    int exitCode = 0;
};

// Accepts exactly "tunnel --config PATH --no-autoupdate run", or "--help".
ClientArguments parseClientArguments(const QStringList& arguments);
