#pragma once

#include <QString>

// The history's folders and files are the user's alone: folders 0700, files 0600.
namespace PrivateFiles {

bool makeDirectory(const QString& path);
// Creates an empty file with mode 0600 unless it exists; gives an existing one that mode.
bool touch(const QString& path);
// `$XDG_STATE_HOME/skerrow`, by default `~/.local/state/skerrow`.
QString historyDirectory();

} // namespace PrivateFiles
