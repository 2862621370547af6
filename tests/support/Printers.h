#pragma once

#include <QString>
#include <QStringList>
#include <ostream>

// Readable Qt text in test failure messages (GoogleTest would otherwise dump raw bytes).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* out) {
    *out << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}
