#pragma once

#include "platform/Clock.h"
#include "router/AccessGate.h"
#include "router/AppAddress.h"
#include "router/CaptureQueue.h"
#include "router/ConnectionLimits.h"
#include "router/Descriptor.h"
#include "router/LinkAccess.h"
#include "router/PendingHeads.h"
#include "router/RequestCapture.h"
#include "router/RouteRule.h"
#include "router/VisitorTable.h"
#include "router/Visitors.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
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
    // Connections the kernel may queue for us: bursts of new visitors must not be dropped, and
    // at the connection bound new ones wait here until others end.
    static constexpr int listenBacklog = 1024;
    // The longest time between two sweeps over the connections still reading their head; the
    // sweep runs more often when the head time limits are short.
    static constexpr std::chrono::milliseconds maxSweepInterval = std::chrono::seconds(1);

    RouterCore(quint16 listeningPort, Clock clock, ConnectionLimits limits);
    ~RouterCore() override;

    void setRoutes(const QList<RouteRule>& rules);
    void setAccess(const QByteArray& key, const QList<LinkAccess>& links) {
        gate_.setAccess(key, links);
    }
    void stop();
    bool isListening() const { return ready_; }
    Visitors visitors(const QString& host);

    std::optional<qint64> port(const QString& host) const;
    void recordVisitor(const QString& host, const Visit& visit);
    QList<VisitorDetail> visitorDetails(const QString& host);
    // The passphrase check of a routed request, on links that have one.
    void admit(RequestHead::Decision& decision) {
        gate_.admit(decision, clock_().toSecsSinceEpoch());
    }
    // Where the apps are reached: "localhost", resolved when the router first listens.
    const std::vector<AppAddress>& appAddresses() const { return appAddresses_; }
    // One read's worth of space shared by every connection: a read's bytes are sent on, or
    // copied, before the next read, so no connection needs a buffer of its own for them.
    char* readBuffer() { return readBuffer_.get(); }
    // A connection got its head, an answer or its end: it no longer counts against the head
    // time limits.
    void headDone(PendingHead& head) { pendingHeads_.remove(head); }
    // Whether a connection still reading its head may buffer `bytes` more.
    bool holdHeadBytes(PendingHead& head, qsizetype bytes) {
        return pendingHeads_.hold(head, bytes);
    }
    // A connection closed: it no longer counts against the connection bound either.
    void connectionEnded(PendingHead& head);

    // Where copies of the relayed requests go; none while absent.
    void setCapture(std::shared_ptr<CaptureQueue> queue) { capture_ = std::move(queue); }
    std::unique_ptr<RequestCapture> startCapture() {
        return capture_ ? std::make_unique<RequestCapture>(capture_) : nullptr;
    }

private:
    void startLocked();
    void stopLocked();
    void listenerFailed(Listener* failed);
    void scheduleRestart();
    void acceptPending();
    void resumeAccepting();
    void handle(Descriptor connection);
    void sweep();
    Poller* poller();

    const quint16 listeningPort_;
    const Clock clock_;
    const ConnectionLimits limits_;
    QHash<QString, qint64> routes_;
    // Created on the router's thread on first use; owns the listener and every connection.
    std::unique_ptr<Poller> poller_;
    Listener* listener_ = nullptr;
    std::vector<AppAddress> appAddresses_;
    std::unique_ptr<char[]> readBuffer_;
    bool ready_ = false;
    VisitorTable visitors_;
    AccessGate gate_;
    // At most one restart waits at any time, however often the routes are set meanwhile.
    QTimer restartTimer_{this};
    int connections_ = 0;
    // Accepting stopped at the connection bound or for want of descriptors; connections wait in
    // the listener's backlog until it resumes.
    bool acceptPaused_ = false;
    bool resumeQueued_ = false;
    PendingHeads pendingHeads_;
    // Heads given up to make room at the connection bound since the last sweep, which logs them:
    // one line a sweep, however hard the bound is pressed.
    qint64 headsGivenUpForRoom_ = 0;
    QTimer sweepTimer_{this};
    std::shared_ptr<CaptureQueue> capture_;
};
