#pragma once

#include "app/ShareLink.h"
#include "ui/MenuView.h"

#include <QMenu>
#include <functional>

// What the tray icon's context menu does; the entry point wires it to the state.
struct TrayMenuActions {
    std::function<void()> openPanel;
    std::function<void(const ShareLink&)> copy;
    std::function<void()> stopAll;
    std::function<void()> quit;
    // The request history's window; the menu offers it only when set.
    std::function<void()> openRequests = {};
};

// The tray icon's right-click menu, built afresh from the panel's model each time it opens.
class TrayMenu : public QMenu {
public:
    TrayMenu(TrayMenuActions actions, MenuView::ModelSource source, QWidget* parent = nullptr);

    // Fills the menu from the model now; opening the menu does the same.
    void rebuild();

private:
    TrayMenuActions actions_;
    MenuView::ModelSource source_;
};
