#include "ui/ShareSwitch.h"

#include "ui/PanelStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int trackWidth = 32;
constexpr int trackHeight = 18;
constexpr qreal knobInset = 2;
constexpr qreal offTrack = 0.18;
constexpr qreal disabledOpacity = 0.45;

} // namespace

ShareSwitch::ShareSwitch(bool on, QWidget* parent) : QAbstractButton(parent), on_(on) {
    setFixedSize(trackWidth, trackHeight);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(on ? QStringLiteral("On") : QStringLiteral("Off"));
}

QSize ShareSwitch::sizeHint() const {
    return {trackWidth, trackHeight};
}

void ShareSwitch::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    const QPalette& pal = palette();
    const QRectF track(0.5, 0.5, trackWidth - 1, trackHeight - 1);
    const qreal radius = track.height() / 2;
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, radius, radius);
    painter.fillPath(trackPath, on_ ? PanelStyle::green(pal)
                                    : PanelStyle::withAlpha(PanelStyle::primary(pal), offTrack));

    const qreal knob = track.height() - 2 * knobInset;
    const qreal x = on_ ? track.right() - knobInset - knob : track.left() + knobInset;
    const QRectF knobRect(x, track.top() + knobInset, knob, knob);
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(knobRect);
}
