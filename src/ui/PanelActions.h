#pragma once

#include "app/ShareLink.h"
#include "discovery/PortRow.h"

#include <QUrl>
#include <functional>

// The operations the panel's controls call. The entry point wires them to the application
// state; the panel never changes the state any other way.
struct PanelActions {
    std::function<void(const PortRow&)> share;
    std::function<void(const ShareLink&)> kill;
    // Renews a link: a new public address, the old one ended.
    std::function<void(const ShareLink&)> refresh;
    std::function<void(const ShareLink&)> copy;
    std::function<void(const QUrl&)> openUrl;
    // The recovery run after a wake. The footer shows "Restart" only when this is set.
    std::function<void()> restart;
    std::function<void()> quit;
    // Opens the "Requests" window; the footer shows "Requests" only when this is set.
    std::function<void()> openRequests;
};
