#pragma once

#include "control/ControlAdaptor.h"

#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <functional>
#include <memory>

class AppState;

// The app's presence on the session bus: the object with both interfaces, then the well-known
// name. Without a session bus it does nothing and the app runs as before.
class ControlBus {
public:
    // How long a later start waits for the running app to answer.
    static constexpr std::chrono::milliseconds activateTimeout{3000};

    ControlBus(QDBusConnection bus, AppState& state, ControlAdaptor::Sources sources,
               std::function<void()> openPanel);
    ~ControlBus();
    ControlBus(const ControlBus&) = delete;
    ControlBus& operator=(const ControlBus&) = delete;

    // Registers the object and claims the name; false without a bus or when the name is held.
    bool publish();

    // From a later start: true when another process holds the name and was asked to come
    // forward.
    static bool activateRunning(const QDBusConnection& bus);

private:
    QDBusConnection bus_;
    std::unique_ptr<QObject> object_;
    bool published_ = false;
};
