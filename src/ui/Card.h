#pragma once

#include <QList>
#include <QWidget>

class QVBoxLayout;

// A rounded card behind a section's rows: a translucent control background with a faint border
// drawn inside its edge. Rows stack in it with no spacing.
class Card : public QWidget {
public:
    // With `separatorIndent` set, a thin line that starts that far from the card's leading edge
    // parts each row from the next.
    explicit Card(int separatorIndent = -1, QWidget* parent = nullptr);

    // Shows these rows in this order. Rows stay the caller's: those left out are hidden and taken
    // out of the card's layout, so the caller removes a row only after it left the card.
    void setRows(const QList<QWidget*>& rows);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* layout_;
    int separatorIndent_;
    QList<QWidget*> rows_;
    QList<QWidget*> separators_;
};
