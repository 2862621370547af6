#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace PortScanner {

// Runs a system tool and returns its standard output decoded as UTF-8 (empty when it is not
// valid UTF-8). Absent when the tool cannot be started or does not finish within `timeout`
// seconds; an overrunning tool gets SIGTERM at once and SIGINT a second later. Blocks the
// calling thread.
std::optional<QString> run(const QString& executable, const QStringList& arguments, double timeout);

} // namespace PortScanner
