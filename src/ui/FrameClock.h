#pragma once

#include <QObject>
#include <QTimer>

class QWidget;

// Repaints a widget at the display's frame rate while it is visible, and not at all while it is
// hidden, so nothing ticks when the panel is closed.
class FrameClock : public QObject {
public:
    explicit FrameClock(QWidget* widget);

    // Seconds since a fixed reference instant shared by every indicator, so indicators of the
    // same period run in step.
    static double now();
    // The fractional part of `value`, in [0, 1).
    static double fraction(double value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* widget_;
    QTimer timer_;
};
