#include "service/Provisioner.h"
#include "service/UserFacingError.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <filesystem>

QMutex& Provisioner::pendingLock() {
    static QMutex lock;
    return lock;
}

QStringList Provisioner::readPendingKills() const {
    QFile file(pendingKillsURL());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isArray())
        return {};
    QStringList hosts;
    for (const QJsonValue host : document.array()) {
        if (!host.isString())
            return {};
        hosts.append(host.toString());
    }
    return hosts;
}

void Provisioner::writePendingKills(const QStringList& hosts) const {
    // The file never holds an empty array: an empty queue is no file.
    if (hosts.isEmpty()) {
        std::error_code ignored;
        std::filesystem::remove(QFile::encodeName(pendingKillsURL()).toStdString(), ignored);
        return;
    }
    try {
        ensureSupportDir();
    } catch (const UserFacingError&) {
        // The write below reports nothing either; the queue simply stays as it was.
    }
    try {
        writeSecure(QJsonDocument(QJsonArray::fromStringList(hosts)).toJson(QJsonDocument::Compact),
                    pendingKillsURL());
    } catch (const UserFacingError&) {
        // Never fails: a write error leaves the old file in place.
    }
}

void Provisioner::addPendingKills(const QStringList& hosts) const {
    if (hosts.isEmpty())
        return;
    const QMutexLocker locker(&pendingLock());
    QStringList queued = readPendingKills();
    for (const QString& host : hosts) {
        if (!queued.contains(host))
            queued.append(host);
    }
    writePendingKills(queued);
}

void Provisioner::removePendingKill(const QString& host) const {
    const QMutexLocker locker(&pendingLock());
    QStringList queued = readPendingKills();
    queued.removeAll(host);
    writePendingKills(queued);
}

QStringList Provisioner::pendingKills() const {
    const QMutexLocker locker(&pendingLock());
    return readPendingKills();
}
