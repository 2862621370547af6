#pragma once

#include "platform/ToolRunner.h"

namespace PortScanner {

// The scan's tool runs: standard output of a tool that finished within `timeout` seconds.
inline std::optional<QString> run(const QString& executable, const QStringList& arguments,
                                  double timeout) {
    return runTool(executable, arguments, timeout);
}

} // namespace PortScanner
