#include "ui/RippleIndicator.h"

#include <QPainter>

namespace {

constexpr int rings = 3;

} // namespace

RippleIndicator::RippleIndicator(int size, double duration, QWidget* parent)
    : QWidget(parent), clock_(this), duration_(duration) {
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

void RippleIndicator::paintFrame(QPainter& painter, QSizeF size, double phase,
                                 const QColor& color) {
    const qreal r = size.width() / 2;
    const QPointF centre(r, size.height() / 2);
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
        painter.drawEllipse(centre, r * p, r * p);
    }
}

void RippleIndicator::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    paintFrame(painter, size(), FrameClock::now() / duration_, palette().color(foregroundRole()));
}
