#include "ui/LoadingSpinner.h"

#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int gridCells = 15;
// Top-left cell (column, row) of each cluster, in drawing order: clockwise on screen.
constexpr std::array<std::array<int, 2>, 8> segments{{
    {12, 6},
    {10, 10},
    {6, 12},
    {2, 10},
    {0, 6},
    {2, 2},
    {6, 0},
    {10, 2},
}};
constexpr double segmentStep = 0.125;
constexpr double fadeRange = 0.8;

} // namespace

LoadingSpinner::LoadingSpinner(int size, double duration, PanelStyle::Ink ink, QWidget* parent)
    : Decoration(size, ink, parent), clock_(this), duration_(duration) {}

void LoadingSpinner::paintFrame(QPainter& painter, qreal side, double phase, const QColor& color) {
    const qreal cell = side / gridCells;
    // Dots snapped to whole device pixels: at 14 to 16 pixels a cell is about one pixel, and
    // dots smeared across two pixels would blur into a grey ring.
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const auto snap = [dpr](qreal value) { return std::round(value * dpr) / dpr; };
    const qreal dotSide = std::max(1.0, std::round(cell * dpr)) / dpr;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const double p = FrameClock::fraction(phase - static_cast<double>(i) * segmentStep);
        QColor dot = color;
        dot.setAlphaF(static_cast<float>(color.alphaF() * (1 - fadeRange * p)));
        const auto [column, row] = segments[i];
        for (const int dx : {0, 2}) {
            for (const int dy : {0, 2})
                painter.fillRect(
                    QRectF(snap((column + dx) * cell), snap((row + dy) * cell), dotSide, dotSide),
                    dot);
        }
    }
}

void LoadingSpinner::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintFrame(painter, width(), FrameClock::now() / duration_, ink());
}
