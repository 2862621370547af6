#pragma once

#include <QString>

// Removes the given characters (by default spaces, tabs and line breaks) from both ends.
inline QString trimBlanks(const QString& text, QStringView blanks = u" \t\r\n") {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blanks.contains(text[begin]))
        ++begin;
    while (end > begin && blanks.contains(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}
