#include "ui/DotRing.h"

#include <algorithm>
#include <array>
#include <span>

namespace {

using Pattern = std::span<const char* const>;

constexpr std::array<const char*, 8> ring8{
    "...XX...", ".XXXXXX.", ".XX..XX.", "XX....XX", "XX....XX", ".XX..XX.", ".XXXXXX.", "...XX...",
};
// The same ring on coarser grids, for small trays.
constexpr std::array<const char*, 7> ring7{
    "..XXX..", ".XX.XX.", "XX...XX", "X.....X", "XX...XX", ".XX.XX.", "..XXX..",
};
constexpr std::array<const char*, 6> ring6{
    ".XXXX.", "XX..XX", "X....X", "X....X", "XX..XX", ".XXXX.",
};
constexpr std::array<const char*, 5> ring5{
    ".XXX.", "X...X", "X...X", "X...X", ".XXX.",
};
constexpr std::array<Pattern, 3> coarse{Pattern(ring7), Pattern(ring6), Pattern(ring5)};

// In pattern units: the 8 × 8 ring's pitch and dot.
constexpr qreal pitch = 2;
constexpr qreal dotSide = 1.5;
// The smallest dot and gap, in device pixels, that still read as separate dots.
constexpr int legibleDot = 2;
constexpr int legibleGap = 1;

struct Layout {
    Pattern rows;
    int pitchPx;
    int dotPx;
};

int extent(const Layout& layout) {
    return static_cast<int>(layout.rows.size() - 1) * layout.pitchPx + layout.dotPx;
}

Layout layoutFor(qreal pixels) {
    const qreal scale = pixels / DotRing::side;
    const int pitchPx = std::max(2, qRound(pitch * scale));
    const Layout scaled{Pattern(ring8), pitchPx,
                        std::clamp(qRound(dotSide * scale), 1, pitchPx - 1)};
    if (scaled.dotPx >= legibleDot)
        return scaled;
    for (const Pattern rows : coarse) {
        const Layout layout{rows, legibleDot + legibleGap, legibleDot};
        if (extent(layout) <= pixels)
            return layout;
    }
    // Smaller than any legible ring: the coarsest one at one-pixel dots.
    return {Pattern(ring5), 2, 1};
}

} // namespace

namespace DotRing {

void paint(QPainter& painter, const QRectF& target, const QColor& color) {
    const Layout layout = layoutFor(target.width());
    const int offset = static_cast<int>((target.width() - extent(layout)) / 2);
    const QPoint origin = target.topLeft().toPoint() + QPoint(offset, offset);
    for (std::size_t r = 0; r < layout.rows.size(); ++r) {
        for (std::size_t c = 0; layout.rows[r][c] != '\0'; ++c) {
            if (layout.rows[r][c] != 'X')
                continue;
            painter.fillRect(QRect(origin.x() + static_cast<int>(c) * layout.pitchPx,
                                   origin.y() + static_cast<int>(r) * layout.pitchPx, layout.dotPx,
                                   layout.dotPx),
                             color);
        }
    }
}

} // namespace DotRing
