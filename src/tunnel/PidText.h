#pragma once

#include <QString>
#include <optional>

// The text of the pid file: the id in decimal and one line feed.
QString pidText(qint32 pid);

// The id in a pid file's text: white space and line breaks at both ends are dropped, the rest
// must be an optional sign and decimal digits within the signed 32-bit range.
std::optional<qint32> parsePidText(const QString& text);
