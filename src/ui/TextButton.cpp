#include "ui/TextButton.h"

#include "ui/PanelStyle.h"

#include <QPainter>

namespace {

constexpr qreal footerSize = 12;
constexpr qreal hostSize = 13;
constexpr int shortestWidth = 40;

} // namespace

TextButton::TextButton(const QString& text, Look look, QWidget* parent)
    : QAbstractButton(parent), look_(look) {
    setText(text);
    setFont(look == Look::footer ? PanelStyle::font(footerSize)
                                 : PanelStyle::font(hostSize, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setSizePolicy(look == Look::footer ? QSizePolicy::Fixed : QSizePolicy::Preferred,
                  QSizePolicy::Fixed);
}

QSize TextButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2, metrics.height()};
}

QSize TextButton::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {look_ == Look::footer ? sizeHint().width() : shortestWidth, metrics.height()};
}

void TextButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPalette& pal = palette();
    const bool hot = isEnabled() && underMouse();
    QFont f = font();
    QColor color;
    if (look_ == Look::footer) {
        color = hot ? PanelStyle::primary(pal) : PanelStyle::secondary(pal);
    } else {
        color = pal.color(QPalette::Link);
        f.setUnderline(hot);
    }
    painter.setFont(f);
    painter.setPen(color);
    const QString shown = QFontMetrics(f).elidedText(text(), Qt::ElideMiddle, width());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}
