#include "ui/PanelStyle.h"

#include <QApplication>

namespace {

constexpr qreal secondaryAlpha = 0.55;
constexpr int darkLightness = 128;

} // namespace

namespace PanelStyle {

QFont font(qreal pixelSize, QFont::Weight weight) {
    QFont f = QApplication::font();
    f.setPixelSize(qRound(pixelSize));
    f.setWeight(weight);
    return f;
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

} // namespace PanelStyle
