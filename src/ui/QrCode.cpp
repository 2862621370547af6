#include "ui/QrCode.h"

#include <QPainter>
#include <algorithm>
#include <memory>
#include <qrencode.h>

namespace QrCode {
namespace {

struct Free {
    void operator()(QRcode* code) const { QRcode_free(code); }
};
using Code = std::unique_ptr<QRcode, Free>;

// Medium error correction: readable from a screen with glare, still small for a URL.
Code encode(const QString& text) {
    return Code(QRcode_encodeString8bit(text.toUtf8().constData(), 0, QR_ECLEVEL_M));
}

} // namespace

QImage render(const QString& text, int modulePixels) {
    const Code code = encode(text);
    if (!code)
        return {};
    const int modules = code->width;
    const int side = (modules + 2 * quietZone) * modulePixels;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < modules; ++y) {
        for (int x = 0; x < modules; ++x) {
            // The low bit of each module says dark or light.
            if (code->data[y * modules + x] & 1)
                painter.fillRect((x + quietZone) * modulePixels, (y + quietZone) * modulePixels,
                                 modulePixels, modulePixels, Qt::black);
        }
    }
    return image;
}

int moduleFor(const QString& text, int side) {
    const Code code = encode(text);
    if (!code)
        return smallestModule;
    return std::clamp(side / (code->width + 2 * quietZone), smallestModule, largestModule);
}

} // namespace QrCode
