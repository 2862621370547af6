#pragma once

#include <QByteArray>
#include <QString>

// The bytes as UTF-8 text, or the empty text when they are not valid UTF-8.
QString utf8OrEmpty(const QByteArray& bytes);

// The first `count` characters of text as a reader counts them (grapheme clusters, so an accent
// or an emoji sequence is never split).
QString firstCharacters(const QString& text, int count);
