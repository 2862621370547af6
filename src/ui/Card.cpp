#include "ui/Card.h"

#include "ui/PanelStyle.h"

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
    Separator(int indent, QWidget* parent) : QWidget(parent), indent_(indent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        painter.fillRect(rect().adjusted(indent_, 0, 0, 0),
                         PanelStyle::withAlpha(PanelStyle::primary(palette()), separatorAlpha));
    }

private:
    int indent_;
};

} // namespace

Card::Card(int separatorIndent, QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)), separatorIndent_(separatorIndent) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

void Card::setRows(const QList<QWidget*>& rows) {
    if (rows == rows_)
        return;
    for (QWidget* row : std::as_const(rows_)) {
        if (!rows.contains(row))
            row->hide();
    }
    while (QLayoutItem* item = layout_->takeAt(0))
        delete item;
    qDeleteAll(separators_);
    separators_.clear();
    for (QWidget* row : rows) {
        if (separatorIndent_ >= 0 && row != rows.first()) {
            auto* line = new Separator(separatorIndent_, this);
            separators_.append(line);
            layout_->addWidget(line);
            line->show();
        }
        layout_->addWidget(row);
        row->show();
    }
    rows_ = rows;
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
