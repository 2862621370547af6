#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

// The application's tray image: a ring of 32 dots on an 18-unit square, drawn in code at whatever
// size and pixel ratio the tray asks for. Like a template image only its coverage matters: it is
// painted in one colour chosen to contrast with the panel it sits on.
namespace MenuBarIcon {

constexpr int side = 18;

// The image at `scale` device pixels per unit (18 × scale pixels square), dots in `color`.
QImage image(qreal scale, const QColor& color);

// An icon that draws itself at any requested size: dots in `color`, and in `selectedColor`
// when the tray shows it highlighted.
QIcon icon(const QColor& color, const QColor& selectedColor);

// The symbolic icon the package installs into the icon theme, named by the icon-theme
// convention so that the tray host recolours it to suit its bar.
inline constexpr const char* themeName = "dev.skerrow.Skerrow-symbolic";

// The tray's icon: the theme's symbolic icon where the theme has it, else the drawn one.
QIcon trayIcon(const QColor& color, const QColor& selectedColor);

} // namespace MenuBarIcon
