#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

// Monochrome symbols by name ("terminal", "network", "doc.on.doc", "checkmark",
// "arrow.clockwise"), taken from the desktop's icon theme and tinted, or drawn in code where the
// theme lacks them.
namespace SymbolIcon {

// The freedesktop icon names tried for a symbol, best first.
QStringList themeNames(const QString& symbol);

// The symbol `pixelSize` logical pixels square at `devicePixelRatio`, in `color`.
QPixmap pixmap(const QString& symbol, int pixelSize, qreal devicePixelRatio, const QColor& color);

// Always the drawing of our own, whatever the theme has.
QPixmap fallback(const QString& symbol, int pixelSize, qreal devicePixelRatio, const QColor& color);

} // namespace SymbolIcon
