#pragma once

#include "notify/DesktopNotifications.h"
#include "notify/NotificationRules.h"
#include "platform/Clock.h"
#include "router/Visitors.h"

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

class AppState;

// Tells the desktop what happened to the links while the panel is closed: looks at the state at
// each of its changes and every few seconds (visits and the approach of an expiry change nothing
// in the state), and carries out the actions clicked on a notification.
class Notifier : public QObject {
public:
    struct Hooks {
        std::function<Visitors(const QString& host)> visitors;
        std::function<bool()> panelOpen;
        std::function<void()> openPanel;
    };
    static constexpr std::chrono::milliseconds lookInterval{5000};

    Notifier(AppState& state, QDBusConnection bus, Hooks hooks, Clock clock = systemClock());
    ~Notifier() override;

    // Looks at the state now.
    void look();

private:
    NotificationRules::Facts facts() const;
    void act(const QString& host, const QString& action);

    AppState& state_;
    Hooks hooks_;
    Clock clock_;
    DesktopNotifications notifications_;
    NotificationRules::Rules rules_;
    QTimer timer_;
};
