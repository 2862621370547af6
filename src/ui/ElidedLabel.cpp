#include "ui/ElidedLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QtMath>

namespace {

constexpr int shortestWidth = 24;

} // namespace

ElidedLabel::ElidedLabel(const QString& text, const QFont& font, PanelStyle::Ink ink,
                         QWidget* parent, Qt::TextElideMode cut)
    : QLabel(text, parent), ink_(ink), cut_(cut) {
    setTextFormat(Qt::PlainText);
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == this->text())
        return;
    setText(text);
    updateToolTip();
}

bool ElidedLabel::cuts() const {
    return cut_ != Qt::ElideNone;
}

QSize ElidedLabel::sizeHint() const {
    if (!cuts())
        return QLabel::sizeHint();
    // Rounded up from the exact width: with fractional glyph widths a text given its rounded
    // width would be cut by its last fraction of a pixel.
    const int width = qCeil(QFontMetricsF(font()).horizontalAdvance(text()));
    return QSize(width, fontMetrics().height()).grownBy(contentsMargins());
}

QSize ElidedLabel::minimumSizeHint() const {
    if (!cuts())
        return QLabel::minimumSizeHint();
    const QMargins m = contentsMargins();
    return QSize(shortestWidth, fontMetrics().height()).grownBy(m);
}

QString ElidedLabel::shownText() const {
    if (!cuts())
        return text();
    return fontMetrics().elidedText(text(), cut_, contentsRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(PanelStyle::color(palette(), ink_));
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    updateToolTip();
}

void ElidedLabel::updateToolTip() {
    if (!cuts())
        return;
    const bool cut = fontMetrics().horizontalAdvance(text()) > contentsRect().width();
    setToolTip(cut ? text() : QString());
}
