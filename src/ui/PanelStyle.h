#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QPainter;
class QRectF;
class QWidget;

// Fonts and semantic colours of the panel. Colours come from the palette when a widget paints, so
// light and dark themes both read well and a theme change while the app runs reaches every
// widget.
namespace PanelStyle {

// The application's font at a design size, where 13 is body text at the user's own font size,
// in the lightest face the family has at least as heavy as `weight`.
QFont font(qreal size, QFont::Weight weight = QFont::Normal);

// A colour by its meaning, resolved against the palette at paint time.
enum class Ink { primary, secondary, green, orange };
QColor color(const QPalette& palette, Ink ink);

bool isDark(const QPalette& palette);
QColor primary(const QPalette& palette);
// Second-level text: the primary colour, toned down.
QColor secondary(const QPalette& palette);
QColor accent(const QPalette& palette);
QColor controlBackground(const QPalette& palette);
QColor green(const QPalette& palette);
QColor orange(const QPalette& palette);
QColor withAlpha(QColor color, qreal alpha);

// The keyboard focus ring of the panel's own controls, drawn inside `rect`, shown only while the
// focus moves by keyboard so a mouse click leaves no ring behind.
bool showsFocusRing(const QWidget& widget);
void paintFocusRing(QPainter& painter, const QRectF& rect, qreal radius, const QPalette& palette);

} // namespace PanelStyle
