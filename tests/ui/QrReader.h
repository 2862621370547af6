#pragma once

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// What zbarimg (zbar-tools) reads from the image, or why it could not.
inline QString decoded(const QImage& image) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("code.png"));
    if (!image.save(file))
        return QStringLiteral("(not saved)");
    QProcess reader;
    reader.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), file});
    if (!reader.waitForFinished(20000))
        return QStringLiteral("(zbarimg did not finish)");
    return QString::fromUtf8(reader.readAllStandardOutput()).trimmed();
}
