#include "history/BodySink.h"

#include <QDir>
#include <QUuid>

BodySink::BodySink(QString bodyDirectory) : directory_(std::move(bodyDirectory)) {}

// A body never finished (the writer stopped) leaves no file behind.
BodySink::~BodySink() {
    if (file_)
        file_->remove();
}

void BodySink::append(QByteArrayView bytes) {
    total_ += bytes.size();
    const qint64 room = keptLimit - kept_;
    if (room <= 0 || failed_)
        return;
    bytes = bytes.first(std::min<qint64>(room, bytes.size()));
    kept_ += bytes.size();
    hash_.addData(bytes);
    if (!file_ && kept_ <= memoryLimit) {
        inline_.append(bytes);
        return;
    }
    if (!file_)
        spill();
    if (file_ && file_->write(bytes.data(), bytes.size()) != bytes.size())
        failed_ = true;
}

void BodySink::spill() {
    file_ =
        std::make_unique<QFile>(QDir(directory_)
                                    .filePath(QStringLiteral("incoming-") +
                                              QUuid::createUuid().toString(QUuid::WithoutBraces)));
    if (!file_->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        file_.reset();
        failed_ = true;
        return;
    }
    file_->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file_->write(inline_) != inline_.size())
        failed_ = true;
    inline_ = QByteArray();
}

QString BodySink::finish() {
    if (inMemory())
        return {};
    QString name = QString::fromLatin1(hash_.result().toHex());
    const QString target = QDir(directory_).filePath(name);
    if (!file_) {
        if (QFile::exists(target))
            return name;
        spill();
        if (!file_) {
            kept_ = 0;
            return {};
        }
    }
    const bool written = !failed_ && file_->flush();
    file_->close();
    if (!written) {
        file_->remove();
        file_.reset();
        kept_ = 0;
        return {};
    }
    // The same body is stored already: keep that one.
    if (QFile::exists(target) || !file_->rename(target))
        file_->remove();
    file_.reset();
    return QFile::exists(target) ? name : QString();
}
