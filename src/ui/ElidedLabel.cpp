#include "ui/ElidedLabel.h"

#include <QPainter>

namespace {

constexpr int shortestWidth = 24;

} // namespace

ElidedLabel::ElidedLabel(const QString& text, const QFont& font, const QColor& color,
                         QWidget* parent, Qt::TextElideMode cut)
    : QWidget(parent), text_(text), color_(color), cut_(cut) {
    setFont(font);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(text);
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_), metrics.height()};
}

QSize ElidedLabel::minimumSizeHint() const {
    return {shortestWidth, QFontMetrics(font()).height()};
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text_, cut_, width());
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(color_);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const bool cut = fontMetrics().horizontalAdvance(text_) > width();
    setToolTip(cut ? text_ : QString());
}
