#include "ui/MenuBarIcon.h"

#include "ui/DotRing.h"

#include <QIconEngine>
#include <QPainter>
#include <algorithm>

namespace {

class DotsEngine : public QIconEngine {
public:
    DotsEngine(QColor color, QColor selected) : color_(color), selected_(selected) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State /*state*/) override {
        const qreal side = std::min(rect.width(), rect.height());
        const QRectF square(rect.x() + (rect.width() - side) / 2,
                            rect.y() + (rect.height() - side) / 2, side, side);
        DotRing::paint(*painter, square, mode == QIcon::Selected ? selected_ : color_);
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
    DotRing::paint(painter, QRectF(0, 0, pixels, pixels), color);
    return image;
}

QIcon icon(const QColor& color, const QColor& selectedColor) {
    return QIcon(new DotsEngine(color, selectedColor));
}

QIcon trayIcon(const QColor& color, const QColor& selectedColor) {
    return QIcon::fromTheme(QString::fromLatin1(themeName), icon(color, selectedColor));
}

} // namespace MenuBarIcon
