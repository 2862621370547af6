#include "ui/PanelStyle.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace {

constexpr qreal secondaryAlpha = 0.55;
constexpr int darkLightness = 128;
constexpr qreal focusRingWidth = 2;
// The design size of body text: the user's font size stands for it, the other sizes scale with it.
constexpr qreal bodySize = 13;

// The lightest face of `family` at least as heavy as `weight`, so that a medium title never
// falls back to the regular face of a family without a medium one; the heaviest when none is.
QFont::Weight availableWeight(const QString& family, QFont::Weight weight) {
    if (weight <= QFont::Normal)
        return weight;
    int best = -1;
    int heaviest = -1;
    for (const QString& style : QFontDatabase::styles(family)) {
        const int w = QFontDatabase::weight(family, style);
        heaviest = std::max(heaviest, w);
        if (w >= weight && (best < 0 || w < best))
            best = w;
    }
    if (best < 0)
        best = heaviest;
    return best < 0 ? weight : static_cast<QFont::Weight>(best);
}

} // namespace

namespace PanelStyle {

QFont font(qreal size, QFont::Weight weight) {
    const QFont base = QApplication::font();
    // Only the size and the weight are set: the family follows the application's font.
    QFont f;
    if (base.pointSizeF() > 0)
        f.setPointSizeF(base.pointSizeF() * size / bodySize);
    else
        f.setPixelSize(qRound(base.pixelSize() * size / bodySize));
    f.setWeight(availableWeight(QFontInfo(base).family(), weight));
    return f;
}

QColor color(const QPalette& palette, Ink ink) {
    switch (ink) {
    case Ink::primary:
        return primary(palette);
    case Ink::secondary:
        return secondary(palette);
    case Ink::green:
        return green(palette);
    case Ink::orange:
        return orange(palette);
    }
    return primary(palette);
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < darkLightness;
}

QColor primary(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
    return withAlpha(primary(palette), secondaryAlpha);
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor controlBackground(const QPalette& palette) {
    return palette.color(QPalette::Base);
}

QColor green(const QPalette& palette) {
    return isDark(palette) ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor orange(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 159, 10) : QColor(245, 140, 0);
}

QColor withAlpha(QColor color, qreal alpha) {
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

bool showsFocusRing(const QWidget& widget) {
    return widget.hasFocus() && widget.window()->testAttribute(Qt::WA_KeyboardFocusChange);
}

void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(1);
    const qreal half = focusRingWidth / 2;
    painter.setPen(QPen(accent(palette), focusRingWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(half, half, -half, -half), radius, radius);
    painter.restore();
}

} // namespace PanelStyle
