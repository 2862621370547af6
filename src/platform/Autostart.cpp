#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Inside a quoted Exec argument these characters need a backslash.
const QString quotedSpecials = QStringLiteral("\"`$\\");
// The hidden keys by which desktops record that the user switched an entry off.
const QByteArray hiddenKey = QByteArrayLiteral("Hidden");
const QByteArray gnomeEnabledKey = QByteArrayLiteral("X-GNOME-Autostart-enabled");
constexpr qint64 largestEntry = qint64{64} * 1024;

} // namespace

namespace Autostart {

QString defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString execArgument(const QString& argument) {
    // Always quoted: a path with a space or any other reserved character needs it.
    QString text = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (quotedSpecials.contains(c))
            text += QLatin1Char('\\');
        text += c;
    }
    text += QLatin1Char('"');
    // The Exec value is itself a string value: backslashes are escaped once more, and a
    // literal percent sign is doubled so it is not read as a field code.
    text.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    text.replace(QLatin1Char('%'), QStringLiteral("%%"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return text;
}

QByteArray entryText(const QString& executable) {
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Skerrow\n"
                             "Comment=Share local web apps on public links\n"
                             "Exec=") +
           execArgument(executable).toUtf8() +
           QByteArrayLiteral("\n"
                             "Icon=dev.skerrow.Skerrow\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

bool switchedOff(const QByteArray& entry) {
    bool inMainGroup = false;
    for (const QByteArray& rawLine : entry.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if ((key == hiddenKey && value == "true") || (key == gnomeEnabledKey && value == "false"))
            return true;
    }
    return false;
}

void registerLoginItem(const QString& executable, const QString& directory) {
    const QString path = QDir(directory).filePath(QLatin1String(fileName));
    const QByteArray wanted = entryText(executable);
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        const QByteArray current = existing.read(largestEntry);
        if (current == wanted || switchedOff(current))
            return;
    }
    if (!QDir().mkpath(directory))
        return;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(wanted) == wanted.size())
        file.commit();
}

} // namespace Autostart
