#include "platform/WakeObserver.h"

#include "LogindManagerProxy.h"
#include "platform/Logind.h"

WakeObserver::WakeObserver(const QDBusConnection& bus, QObject* parent) : QObject(parent) {
    if (!bus.isConnected())
        return;
    manager_ = new LogindManagerProxy(Logind::service, Logind::managerPath, bus, this);
    connect(manager_, &LogindManagerProxy::PrepareForSleep, this, [this](bool start) {
        if (!start)
            Q_EMIT woke();
    });
}
