#include "ui/IconButton.h"

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

IconButton::IconButton(const QString& symbol, const QString& help, QWidget* parent)
    : PanelButton(parent), symbol_(symbol) {
    setFixedSize(side, side);
    setToolTip(help);
}

void IconButton::setSymbol(const QString& symbol, std::optional<PanelStyle::Ink> tint) {
    if (symbol == symbol_ && tint == tint_)
        return;
    symbol_ = symbol;
    tint_ = tint;
    update();
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
    if (PanelStyle::showsFocusRing(*this))
        PanelStyle::paintFocusRing(painter, QRectF(rect()), hoverRadius, pal);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    const QPixmap face =
        SymbolIcon::pixmap(symbol_, symbolSize, devicePixelRatioF(),
                           PanelStyle::color(pal, tint_.value_or(PanelStyle::Ink::secondary)));
    painter.drawPixmap(QPointF((side - symbolSize) / 2.0, (side - symbolSize) / 2.0), face);
}
