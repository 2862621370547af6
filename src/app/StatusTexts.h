#pragma once

#include <QString>

// Status line texts that the app's other front ends (the bus, the command line) hand on as they
// are.
namespace StatusTexts {

inline const QString tunnelNotReady = QStringLiteral("Tunnel not ready yet");
inline const QString portNotRunning = QStringLiteral("Port not running");

} // namespace StatusTexts
