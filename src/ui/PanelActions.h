#pragma once

#include "app/ShareLink.h"
#include "discovery/PortRow.h"

#include <QUrl>
#include <functional>
#include <optional>

// The operations the panel's controls call. The entry point wires them to the application
// state; the panel never changes the state any other way.
struct PanelActions {
    std::function<void(const PortRow&)> share;
    std::function<void(const ShareLink&)> kill;
    // Renews a link: a new public address, the old one ended.
    std::function<void(const ShareLink&)> refresh;
    std::function<void(const ShareLink&)> copy;
    // A link's passphrase: set (and copied with the URL), removed, and the current one.
    std::function<void(const ShareLink&, const QString&)> protect;
    std::function<void(const ShareLink&)> unprotect;
    std::function<std::optional<QString>(const ShareLink&)> passphrase;
    std::function<void(const QUrl&)> openUrl;
    // The recovery run after a wake. The footer shows "Restart" only when this is set.
    std::function<void()> restart;
    std::function<void()> quit;
    // Opens the "Requests" window; the footer shows "Requests" only when this is set.
    std::function<void()> openRequests;
};
