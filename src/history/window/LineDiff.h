#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Two texts line by line: which lines both have, and which only one of them.
struct DiffLine {
    enum class Side { both, left, right };
    Side side = Side::both;
    QString text;
};

namespace LineDiff {

// The longest common sequence of lines decides what is kept; inputs beyond `maxLines` lines are
// compared on their first `maxLines` only.
inline constexpr qsizetype maxLines = 4000;
QList<DiffLine> of(const QStringList& left, const QStringList& right);

} // namespace LineDiff
