#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Runs a system tool and returns its standard output decoded as UTF-8 (empty when it is not
// valid UTF-8). Absent when the tool cannot be started or does not finish within `timeout`
// seconds; an overrunning tool gets SIGTERM at once and SIGINT a second later (and SIGKILL if it
// ignores both), off the calling thread. Blocks the calling thread.
std::optional<QString> runTool(const QString& executable, const QStringList& arguments,
                               double timeout);
