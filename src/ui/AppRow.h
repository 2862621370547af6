#pragma once

#include "ui/PanelActions.h"
#include "ui/PanelModel.h"

#include <QWidget>

// One local app: its icon, name, kind and port, and the switch that shares or stops it.
class AppRow : public QWidget {
public:
    static constexpr int height = 50;

    AppRow(const AppRowModel& model, const PanelActions& actions, QWidget* parent = nullptr);
};
