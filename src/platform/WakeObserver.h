#pragma once

#include <QDBusConnection>
#include <QObject>

class LogindManagerProxy;

// Emits `woke` each time the machine has resumed from sleep, as logind announces it on the system
// bus with PrepareForSleep(false). Without a system bus or without logind it stays silent.
class WakeObserver : public QObject {
    Q_OBJECT
public:
    explicit WakeObserver(const QDBusConnection& bus = QDBusConnection::systemBus(),
                          QObject* parent = nullptr);

Q_SIGNALS:
    void woke();

private:
    LogindManagerProxy* manager_ = nullptr;
};
