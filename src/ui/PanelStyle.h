#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

// Fonts and semantic colours of the panel. Sizes are device-independent pixels, so the layout's
// proportions hold on every screen; colours come from the palette, so light and dark themes both
// read well.
namespace PanelStyle {

QFont font(qreal pixelSize, QFont::Weight weight = QFont::Normal);

bool isDark(const QPalette& palette);
QColor primary(const QPalette& palette);
// Second-level text: the primary colour, toned down.
QColor secondary(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor controlBackground(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor withAlpha(QColor color, qreal alpha);

} // namespace PanelStyle
