#pragma once

#include <QFont>
#include <QString>

// `text` wrapped to `width` and cut to at most `maxLines` lines; a cut ends in an ellipsis. The
// lines are joined with '\n'.
QString clampToLines(const QString& text, const QFont& font, int width, int maxLines);
