#pragma once

#include "platform/Clock.h"
#include "router/AppAddress.h"
#include "router/Descriptor.h"
#include "router/RouteRule.h"
#include "router/VisitorTable.h"
#include "router/Visitors.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

class Listener;
class Poller;

// The router's state and listener. Lives on the router's own thread: every member is touched
// only there, so nothing here takes a lock. LinkRouter is the way in from other threads.
class RouterCore : public QObject {
    Q_OBJECT
public:
    static constexpr int restartDelayMs = 1000;
    // Connections the kernel may queue for us: bursts of new visitors must not be dropped.
    static constexpr int listenBacklog = 1024;

    RouterCore(quint16 listeningPort, Clock clock);
    ~RouterCore() override;

    void setRoutes(const QList<RouteRule>& rules);
    void stop();
    bool isListening() const { return ready_; }
    Visitors visitors(const QString& host);

    std::optional<qint64> port(const QString& host) const;
    void recordVisitor(const QString& host, const QString& address);
    // Where the apps are reached: "localhost", resolved when the router first listens.
    const std::vector<AppAddress>& appAddresses() const { return appAddresses_; }
    // One read's worth of space shared by every connection: a read's bytes are sent on, or
    // copied, before the next read, so no connection needs a buffer of its own for them.
    char* readBuffer() { return readBuffer_.get(); }

private:
    void startLocked();
    void stopLocked();
    void listenerFailed(Listener* failed);
    void scheduleRestart();
    void handle(Descriptor connection);
    Poller* poller();

    const quint16 listeningPort_;
    const Clock clock_;
    QHash<QString, qint64> routes_;
    // Created on the router's thread on first use; owns the listener and every connection.
    std::unique_ptr<Poller> poller_;
    Listener* listener_ = nullptr;
    std::vector<AppAddress> appAddresses_;
    std::unique_ptr<char[]> readBuffer_;
    bool ready_ = false;
    VisitorTable visitors_;
};
