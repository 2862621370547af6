#pragma once

#include "ui/PanelModel.h"

#include <QString>

// The tray icon's tooltip: the header's state in a line, with the number of links and the one
// that ends first, then the status line when it shows anything. Same texts as the panel.
QString trayTooltip(const PanelModel& model);
