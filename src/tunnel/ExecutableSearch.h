#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The first of `candidates` that is an existing file the current user may execute.
std::optional<QString> firstExecutable(const QStringList& candidates);

// The first directory of `searchPath` (a PATH-style list) holding an executable file `name`.
std::optional<QString> searchPath(const QString& name, const QString& searchPath);

// The cloudflared to launch: the first executable of `candidates`, then of `searchPathValue`'s
// directories, else the bare name.
QString chooseCloudflared(const QStringList& candidates, const QString& searchPathValue);
