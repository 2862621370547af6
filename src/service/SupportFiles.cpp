#include "service/PlatformErrors.h"
#include "service/Provisioner.h"

#include <QFile>
#include <QSaveFile>
#include <filesystem>

namespace fs = std::filesystem;

void Provisioner::ensureSupportDir() const {
    const fs::path dir(QFile::encodeName(supportDir_).toStdString());
    std::error_code error;
    fs::create_directories(dir, error);
    if (error)
        throw FileError(supportDir_, error);
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, error);
    if (error)
        throw FileError(supportDir_, error);
}

void Provisioner::writeSecure(const QByteArray& data, const QString& file) {
    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly))
        throw FileError(file, save.errorString());
    // The temporary file is private before it holds anything, so the content is never readable
    // by others, not even between the rename and the mode change below.
    save.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (save.write(data) != data.size() || !save.commit())
        throw FileError(file, save.errorString());
    std::error_code error;
    fs::permissions(fs::path(QFile::encodeName(file).toStdString()),
                    fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                    error);
    if (error)
        throw FileError(file, error);
}
