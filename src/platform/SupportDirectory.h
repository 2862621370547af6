#pragma once

#include <QString>

// The per-user directory that holds every file of the app: $XDG_DATA_HOME/skerrow, by default
// ~/.local/share/skerrow. It is not created here.
QString defaultSupportDirectory();
