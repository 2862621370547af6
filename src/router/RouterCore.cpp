#include "router/RouterCore.h"

#include "router/ClientSession.h"
#include "router/Listener.h"
#include "router/Poller.h"

#include <QSet>
#include <QTimer>

RouterCore::RouterCore(quint16 listeningPort, Clock clock)
    : listeningPort_(listeningPort), clock_(std::move(clock)),
      readBuffer_(std::make_unique<char[]>(ClientSession::bytesPerRead)) {}

// Runs on the router's thread, so every connection closes there.
RouterCore::~RouterCore() = default;

void RouterCore::setRoutes(const QList<RouteRule>& rules) {
    QHash<QString, qint64> table;
    for (const RouteRule& rule : rules)
        table.insert(rule.host.toLower(), rule.port);
    routes_ = std::move(table);
    const QList<QString> hosts = routes_.keys();
    visitors_.retainOnly(QSet<QString>(hosts.begin(), hosts.end()));
    if (routes_.isEmpty())
        stopLocked();
    else
        startLocked();
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
    if (it == routes_.constEnd())
        return std::nullopt;
    return it.value();
}

void RouterCore::recordVisitor(const QString& host, const QString& address) {
    visitors_.record(host, address, clock_());
}

Poller* RouterCore::poller() {
    if (!poller_) {
        poller_ = std::make_unique<Poller>();
        appAddresses_ = resolveAppHost();
    }
    return poller_->isValid() ? poller_.get() : nullptr;
}

void RouterCore::startLocked() {
    if (listener_)
        return;
    Poller* poller = this->poller();
    if (!poller)
        return;
    std::unique_ptr<Listener> listener = Listener::open(
        listeningPort_, listenBacklog,
        [this](Descriptor connection) { handle(std::move(connection)); },
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
}

void RouterCore::stopLocked() {
    if (listener_)
        poller_->retire(listener_);
    listener_ = nullptr;
    ready_ = false;
}

// The listener broke: tear it down and try again shortly, for as long as there are routes to
// serve.
void RouterCore::listenerFailed(Listener* failed) {
    if (failed != listener_)
        return;
    stopLocked();
    scheduleRestart();
}

void RouterCore::scheduleRestart() {
    QTimer::singleShot(restartDelayMs, this, [this] {
        if (!routes_.isEmpty())
            startLocked();
    });
}

void RouterCore::handle(Descriptor connection) {
    auto* session = static_cast<ClientSession*>(
        poller_->adopt(std::make_unique<ClientSession>(std::move(connection), *this, *poller_)));
    session->start();
}
