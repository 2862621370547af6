#pragma once

#include <QImage>
#include <QWidget>

class QLabel;

// A link's address as a QR code large enough to scan from across a desk, the address under it
// and a button that copies the image.
class QrView : public QWidget {
public:
    // The code's side on screen, in device-independent pixels.
    static constexpr int codeSide = 320;

    explicit QrView(const QString& url, QWidget* parent = nullptr);
    const QImage& image() const { return image_; }

private:
    QImage image_;
};
