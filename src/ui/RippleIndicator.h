#pragma once

#include "ui/Decoration.h"
#include "ui/FrameClock.h"

class QPainter;

// Three rings, a third of a period apart, grow from the centre to the edge and fade as they
// grow.
class RippleIndicator : public Decoration {
public:
    RippleIndicator(int size, double duration, PanelStyle::Ink ink, QWidget* parent = nullptr);

    static void paintFrame(QPainter& painter, QSizeF size, double phase, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FrameClock clock_;
    double duration_;
};
