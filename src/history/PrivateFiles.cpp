#include "history/PrivateFiles.h"

#include <QDir>
#include <QFile>

namespace PrivateFiles {

bool makeDirectory(const QString& path) {
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
}

bool touch(const QString& path) {
    QFile file(path);
    if (!file.exists() && !file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString historyDirectory() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(base).filePath(QStringLiteral("skerrow"));
}

} // namespace PrivateFiles
