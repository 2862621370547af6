#include "ui/PopupPlacement.h"

#include <algorithm>
#include <utility>

namespace {

// Space between the icon and the panel.
constexpr int gap = 4;
// Space kept from the screen's edges along the bar, so the panel does not sit flush in a corner.
constexpr int edgeMargin = 8;

int clampInto(int value, int low, int length, int size, int margin) {
    // A panel larger than the area starts at the area's start.
    return std::max(low, std::min(std::max(value, low + margin), low + length - size - margin));
}

} // namespace

QPoint popupPosition(const QRect& icon, const QPoint& clickPosition, const QRect& available,
                     const QSize& panel) {
    const QRect anchor = icon.isEmpty() ? QRect(clickPosition, QSize(1, 1)) : icon;
    const int left = available.x();
    const int top = available.y();
    const int right = available.x() + available.width();
    const int bottom = available.y() + available.height();
    const int anchorRight = anchor.x() + anchor.width();
    const int anchorBottom = anchor.y() + anchor.height();
    const QPoint centre(anchor.x() + anchor.width() / 2, anchor.y() + anchor.height() / 2);

    int x = centre.x() - panel.width() / 2;
    int y = 0;
    // The margin applies along the bar; across it the panel keeps its gap to the icon.
    int xMargin = edgeMargin;
    int yMargin = 0;
    if (anchorRight <= left || anchor.x() >= right)
        std::swap(xMargin, yMargin);
    if (anchorRight <= left) {
        // A panel on the left edge: open to its right, level with the icon.
        x = anchorRight + gap;
        y = centre.y() - panel.height() / 2;
    } else if (anchor.x() >= right) {
        x = anchor.x() - gap - panel.width();
        y = centre.y() - panel.height() / 2;
    } else {
        // Below an icon on the top edge, above one on the bottom edge; an icon inside the free
        // area (a panel that reserves no space) opens away from the nearer edge.
        const bool below = anchorBottom <= top ||
                           (anchor.y() < bottom && centre.y() < top + available.height() / 2);
        y = below ? anchorBottom + gap : anchor.y() - gap - panel.height();
    }
    return {clampInto(x, left, available.width(), panel.width(), xMargin),
            clampInto(y, top, available.height(), panel.height(), yMargin)};
}
