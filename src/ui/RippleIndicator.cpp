#include "ui/RippleIndicator.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int rings = 3;

} // namespace

RippleIndicator::RippleIndicator(int size, double duration, PanelStyle::Ink ink, QWidget* parent)
    : Decoration(size, ink, parent), clock_(this), duration_(duration) {}

void RippleIndicator::paintFrame(QPainter& painter, QSizeF size, double phase,
                                 const QColor& color) {
    const qreal r = size.width() / 2;
    const QPointF centre(std::round(r), std::round(size.height() / 2));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (int k = 0; k < rings; ++k) {
        const double p = FrameClock::fraction(phase - static_cast<double>(k) / rings);
        // A ring of no size is not drawn at all: a pen would leave a dot at the centre.
        if (p <= 0)
            continue;
        QColor ring = color;
        ring.setAlphaF(static_cast<float>(color.alphaF() * (1 - p)));
        painter.setPen(QPen(ring, 1));
        // A one-pixel ring on a half-pixel radius lies on whole pixels where it crosses the axes,
        // so at 12 pixels it grows in crisp steps instead of a soft blur.
        const qreal radius = std::min(std::floor(r * p) + 0.5, r - 0.5);
        painter.drawEllipse(centre, radius, radius);
    }
}

void RippleIndicator::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintFrame(painter, size(), FrameClock::now() / duration_, ink());
}
