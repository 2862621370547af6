#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

// The tray image's drawing: a ring of square dots filling a square. From 23 pixels up it is the
// 8 × 8 pattern of 32 dots scaled to whole pixels; below that, where those dots would shrink to
// single pixels that blur into a grey ring, a coarser ring of the same shape is drawn whose dots
// stay 2 pixels wide with a pixel between them.
namespace DotRing {

// The side of the square the 8 × 8 pattern is laid out on, in pattern units.
constexpr int side = 18;

void paint(QPainter& painter, const QRectF& target, const QColor& color);

} // namespace DotRing
