#include "ui/IconButton.h"

#include "ui/PanelStyle.h"
#include "ui/SymbolIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int symbolSize = 14;
constexpr qreal hoverFill = 0.08;
constexpr qreal pressedFill = 0.14;
constexpr qreal disabledOpacity = 0.35;
constexpr qreal hoverRadius = 6;

} // namespace

IconButton::IconButton(const QString& symbol, const QString& help, std::optional<QColor> tint,
                       QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), tint_(tint) {
    setFixedSize(side, side);
    setToolTip(help);
    setAccessibleName(help);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
}

void IconButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    if (isEnabled() && (underMouse() || isDown())) {
        QPainterPath box;
        box.addRoundedRect(QRectF(rect()), hoverRadius, hoverRadius);
        painter.fillPath(box, PanelStyle::withAlpha(PanelStyle::primary(pal),
                                                    isDown() ? pressedFill : hoverFill));
    }
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    const QPixmap face = SymbolIcon::pixmap(symbol_, symbolSize, devicePixelRatioF(),
                                            tint_.value_or(PanelStyle::secondary(pal)));
    painter.drawPixmap(QPointF((side - symbolSize) / 2.0, (side - symbolSize) / 2.0), face);
}
