#pragma once

#include <QImage>
#include <QString>

// A link's address as a QR code, black on white with the quiet zone the standard asks for.
namespace QrCode {

// Pixels per module the QR view draws with, from a small window to one that fills a phone's
// view across a desk.
inline constexpr int smallestModule = 3;
inline constexpr int largestModule = 12;
// Modules of white around the code.
inline constexpr int quietZone = 4;

// A null image when the text does not fit in a QR code.
QImage render(const QString& text, int modulePixels);
// The module size that makes the code closest to `side` pixels, within the sizes above.
int moduleFor(const QString& text, int side);

} // namespace QrCode
