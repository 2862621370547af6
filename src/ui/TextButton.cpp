#include "ui/TextButton.h"

#include "ui/PanelStyle.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr qreal footerSize = 12;
constexpr qreal hostSize = 13;
constexpr int shortestWidth = 40;
// Room for the focus ring around the text.
constexpr int ringPad = 3;
constexpr qreal ringRadius = 4;

} // namespace

TextButton::TextButton(const QString& text, Look look, QWidget* parent)
    : PanelButton(parent), look_(look) {
    setText(text);
    setFont(look == Look::footer ? PanelStyle::font(footerSize)
                                 : PanelStyle::font(hostSize, QFont::Medium));
    setSizePolicy(look == Look::footer ? QSizePolicy::Fixed : QSizePolicy::Preferred,
                  QSizePolicy::Fixed);
}

QSize TextButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 + 2 * ringPad, metrics.height() + 2 * ringPad};
}

QSize TextButton::minimumSizeHint() const {
    return {look_ == Look::footer ? sizeHint().width() : shortestWidth, sizeHint().height()};
}

QString TextButton::shownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, width() - 2 * ringPad);
}

bool TextButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip && !cutToolTip_.isEmpty() && shownText() != text()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), cutToolTip_, this);
        return true;
    }
    return PanelButton::event(event);
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
        color = PanelStyle::accent(pal);
        f.setUnderline(hot);
    }
    if (PanelStyle::showsFocusRing(*this))
        PanelStyle::paintFocusRing(painter, QRectF(rect()), ringRadius, pal);
    painter.setFont(f);
    painter.setPen(color);
    painter.drawText(rect().adjusted(ringPad, 0, -ringPad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     shownText());
}
