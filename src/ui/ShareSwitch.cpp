#include "ui/ShareSwitch.h"

#include "ui/PanelStyle.h"
#include "ui/ShareSwitchAccessible.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int trackWidth = 32;
constexpr int trackHeight = 18;
// Room for the focus ring around the track.
constexpr int ringPad = 3;
constexpr qreal knobInset = 2;
// The off track and a disabled switch keep a contrast of at least 3:1 with the card behind them:
// an outlined track with a knob in the text colour, and a disabled one toned down no further.
constexpr qreal offOutline = 0.75;
constexpr qreal disabledOpacity = 0.60;

} // namespace

ShareSwitch::ShareSwitch(bool on, QWidget* parent) : PanelButton(parent) {
    installShareSwitchAccessible();
    setCheckable(true);
    setChecked(on);
    setFixedSize(sizeHint());
}

QSize ShareSwitch::sizeHint() const {
    return {trackWidth + 2 * ringPad, trackHeight + 2 * ringPad};
}

void ShareSwitch::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    if (PanelStyle::showsFocusRing(*this))
        PanelStyle::paintFocusRing(painter, QRectF(rect()), height() / 2.0, pal);
    if (!isEnabled())
        painter.setOpacity(disabledOpacity);
    const bool on = isChecked();
    const QRectF track(ringPad + 0.5, ringPad + 0.5, trackWidth - 1, trackHeight - 1);
    const qreal radius = track.height() / 2;
    QPainterPath trackPath;
    trackPath.addRoundedRect(track, radius, radius);
    // The active text colour: a disabled palette's is too faint to meet the contrast above, and
    // the opacity already marks the switch as disabled.
    const QColor ink =
        PanelStyle::withAlpha(pal.color(QPalette::Active, QPalette::WindowText), offOutline);
    if (on)
        painter.fillPath(trackPath, PanelStyle::green(pal));
    else
        painter.strokePath(trackPath, QPen(ink, 1.5));

    const qreal knob = track.height() - 2 * knobInset - (on ? 0 : 1);
    const qreal x = on ? track.right() - knobInset - knob : track.left() + knobInset + 0.5;
    const QRectF knobRect(x, track.center().y() - knob / 2, knob, knob);
    painter.setPen(on ? QPen(QColor(0, 0, 0, 40), 0.5) : Qt::NoPen);
    painter.setBrush(on ? QColor(255, 255, 255) : ink);
    painter.drawEllipse(knobRect);
}
