#pragma once

#include "ui/PanelStyle.h"

#include <QWidget>

// A purely visual widget (the spinner, the ripple): drawn in its ink from the current palette and
// hidden from accessibility tools, which would otherwise announce an unnamed element. What it
// stands for is said by the text beside it.
class Decoration : public QWidget {
    Q_OBJECT

public:
    Decoration(int size, PanelStyle::Ink ink, QWidget* parent = nullptr);

protected:
    QColor ink() const { return PanelStyle::color(palette(), ink_); }

private:
    PanelStyle::Ink ink_;
};
