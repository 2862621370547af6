#pragma once

#include "ui/FrameClock.h"

#include <QWidget>

class QPainter;

// Three rings, a third of a period apart, grow from the centre to the edge and fade as they
// grow. Drawn in the widget's foreground colour.
class RippleIndicator : public QWidget {
public:
    RippleIndicator(int size, double duration, QWidget* parent = nullptr);

    static void paintFrame(QPainter& painter, QSizeF size, double phase, const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FrameClock clock_;
    double duration_;
};
