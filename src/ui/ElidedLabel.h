#pragma once

#include <QColor>
#include <QWidget>

// One line of text cut with an ellipsis to the width it is given; the whole text shows as its
// tooltip when cut.
class ElidedLabel : public QWidget {
public:
    ElidedLabel(const QString& text, const QFont& font, const QColor& color,
                QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString text_;
    QColor color_;
};
