#include "history/window/TimingBar.h"

#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int barHeight = 14;
constexpr int labelHeight = 18;

struct Step {
    const char* name;
    qint64 from;
    qint64 to;
    QColor colour;
};

} // namespace

TimingBar::TimingBar(QWidget* parent) : QWidget(parent) {
    setMinimumHeight(barHeight + labelHeight);
}

void TimingBar::show(const RecordedRequest& request) {
    request_ = request;
    update();
}

QSize TimingBar::sizeHint() const {
    return {400, barHeight + labelHeight + 4};
}

void TimingBar::paintEvent(QPaintEvent*) {
    const qint64 total = request_.doneUs;
    if (total <= 0)
        return;
    QPainter painter(this);
    const Step steps[] = {
        {"head", 0, request_.headUs, QColor(0x9e, 0x9e, 0x9e)},
        {"connect", request_.headUs, request_.connectedUs, QColor(0xff, 0x98, 0x00)},
        {"wait", request_.connectedUs, request_.firstByteUs, QColor(0x4c, 0xaf, 0x50)},
        {"receive", request_.firstByteUs, request_.doneUs, QColor(0x21, 0x96, 0xf3)},
    };
    const double scale = double(width()) / double(total);
    int labelX = 0;
    for (const Step& step : steps) {
        if (step.from < 0 || step.to < step.from)
            continue;
        const int x = int(double(step.from) * scale);
        const int w = std::max(1, int(double(step.to - step.from) * scale));
        painter.fillRect(x, 0, w, barHeight, step.colour);
        const QString label = QStringLiteral("%1 %2 ms")
                                  .arg(QString::fromLatin1(step.name))
                                  .arg(double(step.to - step.from) / 1000.0, 0, 'f', 2);
        painter.setPen(step.colour.darker());
        painter.drawText(labelX, barHeight + labelHeight - 4, label);
        labelX += painter.fontMetrics().horizontalAdvance(label) + 12;
    }
}
