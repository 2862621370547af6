#include "ui/MenuBarIcon.h"

#include <QIconEngine>
#include <QPainter>
#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char*, 8> rows{
    "...XX...", ".XXXXXX.", ".XX..XX.", "XX....XX", "XX....XX", ".XX..XX.", ".XXXXXX.", "...XX...",
};
constexpr qreal pitch = 2;
constexpr qreal dotSide = 1.5;

// Fills the dots into the square `target`, scaled from the 18-unit square. Dots and gaps are
// snapped to whole device pixels, so the ring stays crisp at small tray sizes instead of
// blurring into a grey blob: the pitch is at least 2 pixels and a dot always leaves a gap.
void paintDots(QPainter& painter, const QRectF& target, const QColor& color) {
    const qreal scale = target.width() / MenuBarIcon::side;
    const int pitchPx = std::max(2, qRound(pitch * scale));
    const int dotPx = std::clamp(qRound(dotSide * scale), 1, pitchPx - 1);
    const int extent = (static_cast<int>(rows.size()) - 1) * pitchPx + dotPx;
    const int offset = static_cast<int>((target.width() - extent) / 2);
    const QPoint origin = target.topLeft().toPoint() + QPoint(offset, offset);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; rows[r][c] != '\0'; ++c) {
            if (rows[r][c] != 'X')
                continue;
            painter.fillRect(QRect(origin.x() + static_cast<int>(c) * pitchPx,
                                   origin.y() + static_cast<int>(r) * pitchPx, dotPx, dotPx),
                             color);
        }
    }
}

class DotsEngine : public QIconEngine {
public:
    DotsEngine(QColor color, QColor selected) : color_(color), selected_(selected) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State /*state*/) override {
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF square(rect.x() + (rect.width() - side) / 2,
                            rect.y() + (rect.height() - side) / 2, side, side);
        paintDots(*painter, square, mode == QIcon::Selected ? selected_ : color_);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        QPixmap pixmap(size * scale);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            paint(&painter, QRect(QPoint(), pixmap.size()), mode, state);
        }
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }

    // Trays that pick from a list of sizes get the common tray sizes.
    QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

    QIconEngine* clone() const override { return new DotsEngine(color_, selected_); }

private:
    QColor color_;
    QColor selected_;
};

} // namespace

namespace MenuBarIcon {

QImage image(qreal scale, const QColor& color) {
    const int pixels = qRound(side * scale);
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintDots(painter, QRectF(0, 0, pixels, pixels), color);
    return image;
}

QIcon icon(const QColor& color, const QColor& selectedColor) {
    return QIcon(new DotsEngine(color, selectedColor));
}

QIcon trayIcon(const QColor& color, const QColor& selectedColor) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), icon(color, selectedColor));
}

} // namespace MenuBarIcon
