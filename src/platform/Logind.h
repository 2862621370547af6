#pragma once

#include <QString>

// Where logind lives on the system bus.
namespace Logind {

inline const QString service = QStringLiteral("org.freedesktop.login1");
inline const QString managerPath = QStringLiteral("/org/freedesktop/login1");

} // namespace Logind
