#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QWidget>

class AppIcon;
class ElidedLabel;
class ShareSwitch;

// One local app: its icon, name, kind and port, and the switch that shares or stops it. The row
// stays for as long as its port is listed and shows each new model in place.
class AppRow : public QWidget {
public:
    static constexpr int height = 50;

    AppRow(const AppRowModel& model, PanelActions actions, QWidget* parent = nullptr);

    void setModel(const AppRowModel& model);
    QWidget* control() const;

private:
    void toggle();

    AppRowModel model_;
    PanelActions actions_;
    AppIcon* icon_;
    ElidedLabel* title_;
    ElidedLabel* subtitle_;
    ShareSwitch* switch_;
};
