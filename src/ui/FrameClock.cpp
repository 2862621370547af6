#include "ui/FrameClock.h"

#include <QEvent>
#include <QWidget>
#include <chrono>
#include <cmath>

namespace {

// About one frame of a 60 Hz display.
constexpr std::chrono::milliseconds frameInterval{16};

} // namespace

FrameClock::FrameClock(QWidget* widget) : QObject(widget), widget_(widget) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(frameInterval);
    connect(&timer_, &QTimer::timeout, widget_, qOverload<>(&QWidget::update));
    widget_->installEventFilter(this);
}

double FrameClock::now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double FrameClock::fraction(double value) {
    double f = value - std::floor(value);
    if (f < 0)
        f += 1;
    return f >= 1 ? 0 : f;
}

bool FrameClock::eventFilter(QObject* watched, QEvent* event) {
    if (watched == widget_) {
        if (event->type() == QEvent::Show)
            timer_.start();
        else if (event->type() == QEvent::Hide)
            timer_.stop();
    }
    return QObject::eventFilter(watched, event);
}
