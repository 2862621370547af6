#pragma once

#include <QString>
#include <unistd.h>

// Sends every log message of the process to the systemd journal with its priority (info 6,
// warning 4, error 3, ...), its category and the identifier "skerrow"; when no journal takes
// it, the message goes to `fallbackFd` as "<level> <category>: <message>". Call once, early in
// `main`, before other threads log.
inline const QString journalSocketPath = QStringLiteral("/run/systemd/journal/socket");

void routeLogToJournal(const QString& socketPath = journalSocketPath,
                       int fallbackFd = STDERR_FILENO);
