#pragma once

#include <QAbstractButton>

// The base of the panel's own controls: Enter activates as Space does, and the arrow keys move
// the focus through the panel's controls as Tab and Shift+Tab do.
class PanelButton : public QAbstractButton {
public:
    explicit PanelButton(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
