#include "router/RouterCore.h"

#include "platform/BuildProfile.h"
#include "platform/StateLog.h"
#include "router/ClientSession.h"
#include "router/Listener.h"
#include "router/Poller.h"

#include <QSet>
#include <algorithm>

using std::chrono::milliseconds;

RouterCore::RouterCore(quint16 listeningPort, Clock clock, ConnectionLimits limits)
    : listeningPort_(listeningPort), clock_(std::move(clock)), limits_(limits),
      readBuffer_(std::make_unique<char[]>(ClientSession::bytesPerRead)),
      gate_(QByteArrayView(BuildProfile::publicScheme).startsWith("https:")),
      pendingHeads_(limits.headIdleTimeout, limits.headDeadline, limits.headBudget) {
    restartTimer_.setSingleShot(true);
    restartTimer_.setInterval(restartDelayMs);
    connect(&restartTimer_, &QTimer::timeout, this, [this] {
        if (!routes_.isEmpty()) {
            startLocked();
        }
    });
    // A few sweeps within the shorter time limit, so a head is given up close to its limit.
    constexpr int sweepsPerLimit = 4;
    const milliseconds shorterLimit = std::min(limits.headIdleTimeout, limits.headDeadline);
    sweepTimer_.setInterval(
        std::clamp(shorterLimit / sweepsPerLimit, milliseconds(1), maxSweepInterval));
    connect(&sweepTimer_, &QTimer::timeout, this, &RouterCore::sweep);
}

// Runs on the router's thread, so every connection closes there.
RouterCore::~RouterCore() = default;

void RouterCore::setRoutes(const QList<RouteRule>& rules) {
    QHash<QString, qint64> table;
    for (const RouteRule& rule : rules) {
        table.insert(rule.host.toLower(), rule.port);
    }
    routes_ = std::move(table);
    const QList<QString> hosts = routes_.keys();
    visitors_.retainOnly(QSet<QString>(hosts.begin(), hosts.end()));
    if (routes_.isEmpty()) {
        stopLocked();
    } else {
        startLocked();
    }
}

void RouterCore::stop() {
    routes_.clear();
    stopLocked();
}

Visitors RouterCore::visitors(const QString& host) {
    return visitors_.snapshot(host, clock_());
}

std::optional<qint64> RouterCore::port(const QString& host) const {
    const auto it = routes_.constFind(host.toLower());
    if (it == routes_.constEnd()) {
        return std::nullopt;
    }
    return it.value();
}

void RouterCore::recordVisitor(const QString& host, const Visit& visit) {
    visitors_.record(host, visit, clock_());
}

QList<VisitorDetail> RouterCore::visitorDetails(const QString& host) {
    return visitors_.details(host, clock_());
}

Poller* RouterCore::poller() {
    if (!poller_) {
        poller_ = std::make_unique<Poller>();
        appAddresses_ = resolveAppHost();
    }
    return poller_->isValid() ? poller_.get() : nullptr;
}

void RouterCore::startLocked() {
    if (listener_) {
        return;
    }
    Poller* poller = this->poller();
    if (!poller) {
        return;
    }
    std::unique_ptr<Listener> listener = Listener::open(
        listeningPort_, listenBacklog, [this] { acceptPending(); },
        [this](Listener* failed) { listenerFailed(failed); });
    // The port is taken: the same as a listener that fails once it runs.
    if (!listener) {
        scheduleRestart();
        return;
    }
    const int fd = listener->fd();
    listener_ = static_cast<Listener*>(poller->adopt(std::move(listener)));
    if (!poller->watch(fd, listener_)) {
        listenerFailed(listener_);
        return;
    }
    ready_ = true;
    acceptPaused_ = false;
}

void RouterCore::stopLocked() {
    if (listener_) {
        poller_->retire(listener_);
    }
    listener_ = nullptr;
    ready_ = false;
    acceptPaused_ = false;
}

// The listener broke: tear it down and try again shortly, for as long as there are routes to
// serve.
void RouterCore::listenerFailed(Listener* failed) {
    if (failed != listener_) {
        return;
    }
    stopLocked();
    scheduleRestart();
}

// A restart already pending stays the only one: a listener started meanwhile makes it do nothing.
void RouterCore::scheduleRestart() {
    if (!restartTimer_.isActive()) {
        restartTimer_.start();
    }
}

// Takes waiting connections while there is room for them. At the connection bound the oldest
// connection still without a complete head makes room: browsers send their head at once, so
// only the silent and the trickling are given up. When every connection is a forwarded request,
// or descriptors run out, the rest stay in the backlog and the listener stays up: accepting
// resumes as connections end, or at the next sweep.
void RouterCore::acceptPending() {
    acceptPaused_ = false;
    while (listener_) {
        const bool atBound = connections_ >= limits_.maxConnections;
        if (atBound && pendingHeads_.isEmpty()) {
            acceptPaused_ = true;
            return;
        }
        Descriptor connection;
        switch (listener_->accept(connection)) {
        case Listener::Accept::connection:
            // Only a connection that is really waiting costs another its place.
            if (atBound) {
                pendingHeads_.giveUpOldest();
                ++headsGivenUpForRoom_;
            }
            handle(std::move(connection));
            break;
        case Listener::Accept::drained:
            return;
        case Listener::Accept::shortage:
            acceptPaused_ = true;
            if (!sweepTimer_.isActive()) {
                sweepTimer_.start();
            }
            return;
        case Listener::Accept::failed:
            listenerFailed(listener_);
            return;
        }
    }
}

void RouterCore::connectionEnded(PendingHead& head) {
    pendingHeads_.remove(head);
    --connections_;
    // Resumed from the event loop rather than from inside the ending connection's own handler.
    if (acceptPaused_ && !resumeQueued_) {
        resumeQueued_ = true;
        QMetaObject::invokeMethod(this, &RouterCore::resumeAccepting, Qt::QueuedConnection);
    }
}

void RouterCore::resumeAccepting() {
    resumeQueued_ = false;
    if (acceptPaused_) {
        acceptPending();
    }
}

void RouterCore::handle(Descriptor connection) {
    ++connections_;
    auto* session = static_cast<ClientSession*>(
        poller_->adopt(std::make_unique<ClientSession>(std::move(connection), *this, *poller_)));
    pendingHeads_.add(*session, std::chrono::steady_clock::now());
    if (!sweepTimer_.isActive()) {
        sweepTimer_.start();
    }
    session->start();
}

// Closes the connections whose head takes too long, and retries accepting after a shortage.
// Stops once there is nothing left to watch, so an idle router has no timer running.
void RouterCore::sweep() {
    if (headsGivenUpForRoom_ > 0) {
        qCInfo(stateLog,
               "Router at its connection bound: closed %lld connections still sending "
               "their request head",
               headsGivenUpForRoom_);
        headsGivenUpForRoom_ = 0;
    }
    pendingHeads_.sweep(std::chrono::steady_clock::now());
    if (acceptPaused_) {
        acceptPending();
    }
    if (pendingHeads_.isEmpty() && !acceptPaused_) {
        sweepTimer_.stop();
    }
}
