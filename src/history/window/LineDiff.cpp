#include "history/window/LineDiff.h"

#include <vector>

namespace LineDiff {

QList<DiffLine> of(const QStringList& leftAll, const QStringList& rightAll) {
    const QStringList left = leftAll.mid(0, maxLines);
    const QStringList right = rightAll.mid(0, maxLines);
    const auto n = size_t(left.size());
    const auto m = size_t(right.size());
    // common[i][j]: the longest common sequence of left[i..] and right[j..].
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (size_t i = n; i-- > 0;) {
        for (size_t j = m; j-- > 0;) {
            common[i][j] = left[qsizetype(i)] == right[qsizetype(j)]
                               ? common[i + 1][j + 1] + 1
                               : std::max(common[i + 1][j], common[i][j + 1]);
        }
    }
    QList<DiffLine> out;
    size_t i = 0;
    size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && left[qsizetype(i)] == right[qsizetype(j)]) {
            out.append({DiffLine::Side::both, left[qsizetype(i)]});
            ++i;
            ++j;
        } else if (j < m && (i == n || common[i][j + 1] >= common[i + 1][j])) {
            out.append({DiffLine::Side::right, right[qsizetype(j++)]});
        } else {
            out.append({DiffLine::Side::left, left[qsizetype(i++)]});
        }
    }
    return out;
}

} // namespace LineDiff
