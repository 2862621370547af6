#pragma once

#include "app/AppState.h"

// Reaches the private operations and bookkeeping of AppState that tests check directly.
class AppStateTestAccess {
public:
    explicit AppStateTestAccess(AppState& state) : state_(state) {}

    QStringList armedExpiryHosts() const {
        QStringList hosts;
        for (const auto& [host, timer] : state_.expiryTimers) {
            if (timer->isActive())
                hosts.append(host);
        }
        hosts.sort();
        return hosts;
    }
    void setLinks(QList<ShareLink> links) { state_.publish(state_.links_, std::move(links)); }
    void saveLinks() { state_.saveLinks(); }
    // A link the app already holds: listed, saved and its expiry armed.
    void adoptLink(const ShareLink& link) {
        QList<ShareLink> links = state_.links_;
        links.append(link);
        state_.publish(state_.links_, std::move(links));
        state_.saveLinks();
        state_.scheduleExpiry(link);
    }
    QString linksURL() const { return state_.linksURL(); }
    QList<RouteRule> activeRules() const { return state_.activeRules(); }

private:
    AppState& state_;
};
