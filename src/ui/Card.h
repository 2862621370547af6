#pragma once

#include <QWidget>

class QVBoxLayout;

// A rounded card behind a section's rows: a translucent control background with a faint border
// drawn inside its edge. Rows stack in it with no spacing.
class Card : public QWidget {
public:
    explicit Card(QWidget* parent = nullptr);

    void addRow(QWidget* row);
    // A thin line that starts `indent` from the card's leading edge.
    void addSeparator(int indent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QVBoxLayout* rows_;
};
