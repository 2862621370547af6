#include "service/PlatformErrors.h"
#include "service/Provisioner.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr mode_t privateFileMode = 0600;

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Writes every byte, retrying short writes; false with errno set on failure.
bool writeAll(int fd, const QByteArray& data) {
    const char* next = data.constData();
    auto left = static_cast<size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

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

// A temporary file in the same directory, private from its creation, written in full and synced,
// then renamed over the target: a reader sees the old or the new content, never a part. (Qt's
// QSaveFile commits a short write, e.g. on a full disk, as if it were complete.)
void Provisioner::writeSecure(const QByteArray& data, const QString& file) {
    const QFileInfo target(file);
    const QByteArray targetPath = QFile::encodeName(target.filePath());
    QByteArray temporary = QFile::encodeName(target.path() + QStringLiteral("/.") +
                                             target.fileName() + QStringLiteral(".XXXXXX"));

    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        throw FileError(file, lastError());
    const bool written =
        ::fchmod(fd, privateFileMode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    const std::error_code writeError = lastError();
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        const std::error_code error = written ? lastError() : writeError;
        ::unlink(temporary.constData());
        throw FileError(file, error);
    }
    if (::rename(temporary.constData(), targetPath.constData()) != 0) {
        const std::error_code error = lastError();
        ::unlink(temporary.constData());
        throw FileError(file, error);
    }
    if (::chmod(targetPath.constData(), privateFileMode) != 0)
        throw FileError(file, lastError());
}
