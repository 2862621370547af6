#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>

// A borderless text button: the footer's "Restart" and "Quit", and a link row's host.
class TextButton : public QAbstractButton {
public:
    enum class Look { footer, hyperlink };

    TextButton(const QString& text, Look look, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Look look_;
};
