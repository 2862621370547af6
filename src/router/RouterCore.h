#pragma once

#include "platform/Clock.h"
#include "router/RouteRule.h"
#include "router/VisitorTable.h"
#include "router/Visitors.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <optional>

class QTcpServer;

// The router's state and listener. Lives on the router's own thread: every member is touched
// only there, so nothing here takes a lock. LinkRouter is the way in from other threads.
class RouterCore : public QObject {
    Q_OBJECT
public:
    static constexpr int restartDelayMs = 1000;
    // Connections the kernel may queue for us: bursts of new visitors must not be dropped.
    static constexpr int listenBacklog = 1024;

    RouterCore(quint16 listeningPort, Clock clock);

    void setRoutes(const QList<RouteRule>& rules);
    void stop();
    bool isListening() const { return ready_; }
    Visitors visitors(const QString& host);

    std::optional<qint64> port(const QString& host) const;
    void recordVisitor(const QString& host, const QString& address);

private:
    void startLocked();
    void stopLocked();
    void listenerFailed(QTcpServer* failed);
    void acceptPending();

    const quint16 listeningPort_;
    const Clock clock_;
    QHash<QString, qint64> routes_;
    QPointer<QTcpServer> listener_;
    bool ready_ = false;
    VisitorTable visitors_;
};
