#pragma once

#include "ui/Decoration.h"
#include "ui/FrameClock.h"

class QPainter;

// Eight clusters of four dots; the brightest cluster moves clockwise once per period and each
// fades over one period after it lit.
class LoadingSpinner : public Decoration {
public:
    LoadingSpinner(int size, double duration, PanelStyle::Ink ink, QWidget* parent = nullptr);

    // One frame at base phase `phase` (frame time divided by the period) on a square of `side`.
    static void paintFrame(QPainter& painter, qreal side, double phase, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FrameClock clock_;
    double duration_;
};
