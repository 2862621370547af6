#pragma once

#include <QAbstractButton>

// A small on/off switch, green when on. It shows what it is given and keeps no position of its
// own: a click only asks for the change, and the next rebuild shows the result.
class ShareSwitch : public QAbstractButton {
public:
    explicit ShareSwitch(bool on, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_;
};
