#include "ui/AppIcon.h"

#include "ui/PanelStyle.h"
#include "ui/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr qreal tileRadius = 8;
constexpr int imageBox = 20;
constexpr int symbolSize = 16;
constexpr qreal activeFill = 0.10;
constexpr qreal idleFill = 0.05;

} // namespace

void paintIconTile(QPainter& painter, const QRectF& rect, const QColor& fill) {
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(rect, tileRadius, tileRadius);
    painter.fillPath(tile, fill);
}

AppIcon::AppIcon(std::optional<QImage> icon, bool active, QWidget* parent)
    : QWidget(parent), icon_(std::move(icon)), active_(active) {
    setFixedSize(side, side);
}

void AppIcon::set(std::optional<QImage> icon, bool active) {
    if (icon == icon_ && active == active_)
        return;
    icon_ = std::move(icon);
    active_ = active;
    update();
}

void AppIcon::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPalette& pal = palette();
    paintIconTile(painter, rect(),
                  active_ ? PanelStyle::withAlpha(PanelStyle::accent(pal), activeFill)
                          : PanelStyle::withAlpha(PanelStyle::primary(pal), idleFill));
    if (icon_ && !icon_->isNull()) {
        const qreal dpr = devicePixelRatioF();
        QImage scaled = icon_->scaled(QSize(imageBox, imageBox) * dpr, Qt::KeepAspectRatio,
                                      Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(dpr);
        const QSizeF size = scaled.deviceIndependentSize();
        painter.drawImage(QPointF((side - size.width()) / 2, (side - size.height()) / 2), scaled);
        return;
    }
    const QPixmap symbol = SymbolIcon::pixmap(
        active_ ? QStringLiteral("network") : QStringLiteral("terminal"), symbolSize,
        devicePixelRatioF(), active_ ? PanelStyle::accent(pal) : PanelStyle::secondary(pal));
    painter.drawPixmap(QPointF((side - symbolSize) / 2.0, (side - symbolSize) / 2.0), symbol);
}
