#include "platform/SystemTools.h"

#include <QFileInfo>
#include <QStringList>

namespace {

QString firstExecutable(const QStringList& candidates) {
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    return candidates.front();
}

} // namespace

QString lsofPath() {
    static const QString path =
        firstExecutable({QStringLiteral("/usr/sbin/lsof"), QStringLiteral("/usr/bin/lsof"),
                         QStringLiteral("/bin/lsof")});
    return path;
}

QString psPath() {
    static const QString path =
        firstExecutable({QStringLiteral("/bin/ps"), QStringLiteral("/usr/bin/ps")});
    return path;
}
