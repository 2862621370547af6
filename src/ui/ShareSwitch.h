#pragma once

#include "ui/PanelButton.h"

// A small on/off switch, green when on. It shows what it is given and keeps no position of its
// own: a click only asks for the change, and the next update shows the result. Screen readers
// see a checkable control whose state is the switch's position.
class ShareSwitch : public PanelButton {
public:
    explicit ShareSwitch(bool on, QWidget* parent = nullptr);

    bool isOn() const { return isChecked(); }
    void setOn(bool on) { setChecked(on); }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    // The position changes only when the state says so.
    void nextCheckState() override {}
};
