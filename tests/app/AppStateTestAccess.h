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
    QString linksURL() const { return state_.linksURL(); }
    QList<RouteRule> activeRules() const { return state_.activeRules(); }
    bool reconciled() const { return state_.didReconcile; }

private:
    AppState& state_;
};
