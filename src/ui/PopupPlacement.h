#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the panel's top-left corner goes: next to the tray icon, on the side of the screen's free
// area that the icon's panel borders, and wholly inside that area. `icon` may be empty when the
// tray does not tell where its icon is; the click position stands in for it then.
QPoint popupPosition(const QRect& icon, const QPoint& clickPosition, const QRect& available,
                     const QSize& panel);
