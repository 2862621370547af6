#pragma once

#include <QByteArray>
#include <QString>

// The login item: an XDG autostart entry that starts the app when the user logs in.
namespace Autostart {

inline constexpr char fileName[] = "skerrow.desktop";

// $XDG_CONFIG_HOME/autostart, by default ~/.config/autostart.
QString defaultDirectory();

// The entry that starts `executable`.
QByteArray entryText(const QString& executable);
// One argument of an entry's Exec line, quoted and escaped so that any path survives.
QString execArgument(const QString& argument);
// Whether the user switched the entry off in the desktop's settings.
bool switchedOff(const QByteArray& entry);

// Writes the entry for `executable` unless the user switched it off or it is already there.
// Best effort: a failure changes nothing and is not reported.
void registerLoginItem(const QString& executable, const QString& directory = defaultDirectory());

} // namespace Autostart
