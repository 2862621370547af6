#include "platform/SpawnArguments.h"

#include <QFile>

SpawnArguments::SpawnArguments(const QString& executable, const QStringList& arguments) {
    storage_.reserve(static_cast<size_t>(arguments.size()) + 1);
    storage_.push_back(QFile::encodeName(executable));
    for (const QString& argument : arguments)
        storage_.push_back(argument.toLocal8Bit());
    for (QByteArray& item : storage_)
        pointers_.push_back(item.data());
    pointers_.push_back(nullptr);
}
