#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The argument vector of a child process in the form posix_spawn takes: the executable's path
// first, then the arguments, then a null pointer. It owns the bytes the pointers point into.
class SpawnArguments {
public:
    SpawnArguments(const QString& executable, const QStringList& arguments);
    SpawnArguments(const SpawnArguments&) = delete;
    SpawnArguments& operator=(const SpawnArguments&) = delete;

    const char* path() const { return storage_.front().constData(); }
    char* const* argv() const { return pointers_.data(); }

private:
    std::vector<QByteArray> storage_;
    std::vector<char*> pointers_;
};
