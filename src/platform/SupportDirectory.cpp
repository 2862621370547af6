#include "platform/SupportDirectory.h"

#include <QDir>

QString defaultSupportDirectory() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // A relative XDG value is invalid by the base-directory rules and is ignored.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/skerrow"));
}
