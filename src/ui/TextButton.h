#pragma once

#include "ui/PanelButton.h"

// A borderless text button: the footer's "Restart" and "Quit", and a link row's host.
class TextButton : public PanelButton {
public:
    enum class Look { footer, hyperlink };

    TextButton(const QString& text, Look look, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The text as drawn at the current width.
    QString shownText() const;
    // The tooltip while the text is cut, in place of the usual one: a cut host shows its whole
    // address.
    void setCutToolTip(const QString& tip) { cutToolTip_ = tip; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    Look look_;
    QString cutToolTip_;
};
