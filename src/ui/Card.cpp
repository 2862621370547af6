#include "ui/Card.h"

#include "ui/PanelStyle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr qreal cornerRadius = 10;
constexpr qreal fillAlpha = 0.60;
constexpr qreal borderAlpha = 0.08;
constexpr qreal separatorAlpha = 0.10;

class Separator : public QWidget {
public:
    explicit Separator(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.fillRect(rect(),
                         PanelStyle::withAlpha(PanelStyle::primary(palette()), separatorAlpha));
    }
};

} // namespace

Card::Card(QWidget* parent) : QWidget(parent), rows_(new QVBoxLayout(this)) {
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
}

void Card::addRow(QWidget* row) {
    rows_->addWidget(row);
}

void Card::addSeparator(int indent) {
    auto* line = new QHBoxLayout;
    line->setContentsMargins(indent, 0, 0, 0);
    line->addWidget(new Separator(this));
    rows_->addLayout(line);
}

void Card::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    // The border lies inside the card's edge: inset by half its width.
    const QRectF edge = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath card;
    card.addRoundedRect(edge, cornerRadius, cornerRadius);
    painter.fillPath(card, PanelStyle::withAlpha(PanelStyle::controlBackground(pal), fillAlpha));
    painter.strokePath(card, QPen(PanelStyle::withAlpha(PanelStyle::primary(pal), borderAlpha), 1));
}
