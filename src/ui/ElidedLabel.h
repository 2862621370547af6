#pragma once

#include <QColor>
#include <QWidget>

// One line of text cut with an ellipsis to the width it is given; the whole text shows as its
// tooltip when cut. Where the cut falls is the caller's choice: a text whose end matters more
// than its middle is cut in the middle.
class ElidedLabel : public QWidget {
public:
    ElidedLabel(const QString& text, const QFont& font, const QColor& color,
                QWidget* parent = nullptr, Qt::TextElideMode cut = Qt::ElideRight);

    const QString& text() const { return text_; }
    // The text as drawn at the current width.
    QString shownText() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString text_;
    QColor color_;
    Qt::TextElideMode cut_;
};
