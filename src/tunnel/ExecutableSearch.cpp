#include "tunnel/ExecutableSearch.h"

#include "tunnel/Tunnel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString cloudflaredName = QStringLiteral("cloudflared");

} // namespace

std::optional<QString> firstExecutable(const QStringList& candidates) {
    for (const QString& path : candidates) {
        const QFileInfo info(path);
        if (info.isFile() && info.isExecutable())
            return path;
    }
    return std::nullopt;
}

std::optional<QString> searchPath(const QString& name, const QString& searchPathValue) {
    QStringList candidates;
    for (const QString& directory : searchPathValue.split(QDir::listSeparator())) {
        // An empty entry would mean the working directory; only absolute places are searched.
        if (QDir::isAbsolutePath(directory))
            candidates.append(QDir(directory).filePath(name));
    }
    return firstExecutable(candidates);
}

QString chooseCloudflared(const QStringList& candidates, const QString& searchPathValue) {
    if (const auto found = firstExecutable(candidates))
        return *found;
    if (const auto found = searchPath(cloudflaredName, searchPathValue))
        return *found;
    return cloudflaredName;
}

QString Tunnel::cloudflaredPath() {
    // The helper installed with the app sits beside its bin directory, in libexec/skerrow.
    const QString helper = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                           QStringLiteral("/../libexec/skerrow/cloudflared"));
    return chooseCloudflared({helper, QStringLiteral("/opt/homebrew/bin/cloudflared"),
                              QStringLiteral("/usr/local/bin/cloudflared")},
                             qEnvironmentVariable("PATH"));
}
