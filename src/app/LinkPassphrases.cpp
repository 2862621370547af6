#include "app/LinkPassphrases.h"

#include "service/Provisioner.h"
#include "service/UserFacingError.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

namespace {

QHash<QString, QString> read(const QString& file) {
    QHash<QString, QString> passphrases;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return passphrases;
    const QJsonObject object = QJsonDocument::fromJson(in.readAll()).object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.value().isString() && !it.value().toString().isEmpty())
            passphrases.insert(it.key().toLower(), it.value().toString());
    }
    return passphrases;
}

// The support directory is private; made here only when nothing has made it yet.
void ensureDirectory(const QString& dir) {
    if (QDir(dir).exists())
        return;
    QDir().mkpath(dir);
    QFile::setPermissions(dir,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void writePrivate(const QByteArray& content, const QString& dir, const QString& file) {
    ensureDirectory(dir);
    try {
        Provisioner::writeSecure(content, file);
    } catch (const UserFacingError&) {
        // The previous file, or none, stays; the next change writes again.
    }
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

QString LinkPassphrases::path(const char* name) const {
    return QDir(dir_).filePath(QString::fromLatin1(name));
}

const QHash<QString, QString>& LinkPassphrases::all() {
    if (!passphrases_)
        passphrases_ = read(path(fileName));
    return *passphrases_;
}

std::optional<QString> LinkPassphrases::of(const QString& host) {
    const auto it = all().constFind(host.toLower());
    if (it == all().constEnd())
        return std::nullopt;
    return *it;
}

void LinkPassphrases::set(const QString& host, const QString& passphrase) {
    all();
    passphrases_->insert(host.toLower(), passphrase);
    save();
}

void LinkPassphrases::remove(const QString& host) {
    if (all().contains(host.toLower())) {
        passphrases_->remove(host.toLower());
        save();
    }
}

void LinkPassphrases::retainOnly(const QSet<QString>& hosts) {
    QSet<QString> kept;
    for (const QString& host : hosts)
        kept.insert(host.toLower());
    all();
    const qsizetype before = passphrases_->size();
    passphrases_->removeIf([&kept](const auto& it) { return !kept.contains(it.key()); });
    if (passphrases_->size() != before)
        save();
}

void LinkPassphrases::save() {
    if (passphrases_->isEmpty()) {
        QFile::remove(path(fileName));
        return;
    }
    QJsonObject object;
    for (auto it = passphrases_->cbegin(); it != passphrases_->cend(); ++it)
        object.insert(it.key(), it.value());
    writePrivate(QJsonDocument(object).toJson(QJsonDocument::Compact), dir_, path(fileName));
}

QByteArray LinkPassphrases::cookieKey() {
    if (!key_.isEmpty())
        return key_;
    QFile in(path(keyFileName));
    if (in.open(QIODevice::ReadOnly)) {
        key_ = in.readAll();
        if (key_.size() == keyBytes)
            return key_;
    }
    key_ = QByteArray(keyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(key_.data()),
                                          keyBytes / qsizetype{sizeof(quint32)});
    writePrivate(key_, dir_, path(keyFileName));
    return key_;
}
