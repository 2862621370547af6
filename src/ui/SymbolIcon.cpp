#include "ui/SymbolIcon.h"

#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace {

using Drawing = void (*)(QPainter&, qreal);

// Each drawing works on a square of side s, stroked with the painter's pen.
void drawTerminal(QPainter& p, qreal s) {
    p.drawRoundedRect(QRectF(0.08 * s, 0.16 * s, 0.84 * s, 0.68 * s), 0.1 * s, 0.1 * s);
    QPainterPath prompt;
    prompt.moveTo(0.26 * s, 0.36 * s);
    prompt.lineTo(0.4 * s, 0.5 * s);
    prompt.lineTo(0.26 * s, 0.64 * s);
    p.drawPath(prompt);
    p.drawLine(QPointF(0.48 * s, 0.64 * s), QPointF(0.7 * s, 0.64 * s));
}

void drawNetwork(QPainter& p, qreal s) {
    const QPointF c(s / 2, s / 2);
    const qreal r = 0.42 * s;
    p.drawEllipse(c, r, r);
    p.drawEllipse(c, r * 0.42, r);
    p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
}

void drawCopy(QPainter& p, qreal s) {
    p.drawRoundedRect(QRectF(0.34 * s, 0.3 * s, 0.5 * s, 0.6 * s), 0.08 * s, 0.08 * s);
    QPainterPath back;
    back.moveTo(0.22 * s, 0.7 * s);
    back.lineTo(0.16 * s, 0.7 * s);
    back.lineTo(0.16 * s, 0.1 * s);
    back.lineTo(0.62 * s, 0.1 * s);
    back.lineTo(0.62 * s, 0.18 * s);
    p.drawPath(back);
}

void drawCheckmark(QPainter& p, qreal s) {
    QPainterPath tick;
    tick.moveTo(0.18 * s, 0.52 * s);
    tick.lineTo(0.4 * s, 0.74 * s);
    tick.lineTo(0.82 * s, 0.26 * s);
    p.drawPath(tick);
}

void drawArrowClockwise(QPainter& p, qreal s) {
    const QRectF circle(0.16 * s, 0.16 * s, 0.68 * s, 0.68 * s);
    // An open circle from the top, clockwise round to just short of the start.
    p.drawArc(circle, 90 * 16, -300 * 16);
    QPainterPath head;
    head.moveTo(0.5 * s, 0.02 * s);
    head.lineTo(0.66 * s, 0.16 * s);
    head.lineTo(0.5 * s, 0.3 * s);
    p.drawPath(head);
}

void drawLock(QPainter& p, qreal s, bool open) {
    p.drawRoundedRect(QRectF(0.2 * s, 0.46 * s, 0.6 * s, 0.44 * s), 0.08 * s, 0.08 * s);
    QPainterPath shackle;
    // Open, the shackle is lifted and its left leg is free of the body.
    const qreal lift = open ? 0.14 : 0.0;
    shackle.moveTo(0.68 * s, 0.46 * s);
    shackle.lineTo(0.68 * s, (0.3 - lift) * s);
    shackle.arcTo(QRectF(0.32 * s, (0.1 - lift) * s, 0.36 * s, 0.4 * s), 0, 180);
    if (!open)
        shackle.lineTo(0.32 * s, 0.46 * s);
    p.drawPath(shackle);
}

void drawLockClosed(QPainter& p, qreal s) {
    drawLock(p, s, false);
}

void drawLockOpen(QPainter& p, qreal s) {
    drawLock(p, s, true);
}

void drawQrCode(QPainter& p, qreal s) {
    // Three finder squares and a few modules, as every QR code has.
    for (const QPointF& corner : {QPointF(0.1, 0.1), QPointF(0.6, 0.1), QPointF(0.1, 0.6)})
        p.drawRect(QRectF(corner * s, QSizeF(0.3 * s, 0.3 * s)));
    p.drawPoint(QPointF(0.66 * s, 0.66 * s));
    p.drawPoint(QPointF(0.84 * s, 0.84 * s));
    p.drawPoint(QPointF(0.84 * s, 0.66 * s));
}

const QHash<QString, Drawing>& drawings() {
    static const QHash<QString, Drawing> table{
        {QStringLiteral("terminal"), drawTerminal},
        {QStringLiteral("network"), drawNetwork},
        {QStringLiteral("doc.on.doc"), drawCopy},
        {QStringLiteral("checkmark"), drawCheckmark},
        {QStringLiteral("arrow.clockwise"), drawArrowClockwise},
        {QStringLiteral("lock"), drawLockClosed},
        {QStringLiteral("lock.open"), drawLockOpen},
        {QStringLiteral("qrcode"), drawQrCode},
    };
    return table;
}

QPixmap blank(int pixelSize, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(pixelSize, pixelSize) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// Paints `color` wherever the pixmap has coverage, as a template image is tinted.
QPixmap tinted(QPixmap pixmap, const QColor& color) {
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(), pixmap.deviceIndependentSize()), color);
    return pixmap;
}

} // namespace

namespace SymbolIcon {

QStringList themeNames(const QString& symbol) {
    static const QHash<QString, QStringList> names{
        {QStringLiteral("terminal"),
         {QStringLiteral("utilities-terminal-symbolic"), QStringLiteral("utilities-terminal")}},
        {QStringLiteral("network"),
         {QStringLiteral("network-workgroup-symbolic"), QStringLiteral("network-workgroup")}},
        {QStringLiteral("doc.on.doc"),
         {QStringLiteral("edit-copy-symbolic"), QStringLiteral("edit-copy")}},
        {QStringLiteral("checkmark"),
         {QStringLiteral("object-select-symbolic"), QStringLiteral("emblem-ok-symbolic")}},
        {QStringLiteral("arrow.clockwise"),
         {QStringLiteral("view-refresh-symbolic"), QStringLiteral("view-refresh")}},
        {QStringLiteral("lock"), {QStringLiteral("changes-prevent-symbolic")}},
        {QStringLiteral("lock.open"), {QStringLiteral("changes-allow-symbolic")}},
        {QStringLiteral("qrcode"), {QStringLiteral("view-barcode-qr-symbolic")}},
    };
    return names.value(symbol);
}

QPixmap pixmap(const QString& symbol, int pixelSize, qreal devicePixelRatio, const QColor& color) {
    for (const QString& name : themeNames(symbol)) {
        const QIcon themed = QIcon::fromTheme(name);
        if (themed.isNull())
            continue;
        QPixmap pixmap = blank(pixelSize, devicePixelRatio);
        {
            QPainter painter(&pixmap);
            themed.paint(&painter, QRect(0, 0, pixelSize, pixelSize));
        }
        return tinted(pixmap, color);
    }
    return fallback(symbol, pixelSize, devicePixelRatio, color);
}

QPixmap fallback(const QString& symbol, int pixelSize, qreal devicePixelRatio,
                 const QColor& color) {
    QPixmap pixmap = blank(pixelSize, devicePixelRatio);
    const Drawing draw = drawings().value(symbol);
    if (!draw)
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Medium weight: strokes a little under a tenth of the symbol's side.
    painter.setPen(
        QPen(color, std::max(1.0, pixelSize * 0.09), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter, pixelSize);
    return pixmap;
}

} // namespace SymbolIcon
