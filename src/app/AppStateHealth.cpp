// Health repair: judging the whole public path each refresh and repairing it step by step.
#include "app/AppState.h"
#include "app/HealthTexts.h"
#include "app/PortHolders.h"
#include "platform/StateLog.h"
#include "router/LinkRouter.h"
#include "service/ProvisionError.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>

LinkRouter& AppState::linkRouter() const {
    return options_.router ? *options_.router : LinkRouter::shared();
}

QList<ShareLink> AppState::runningLinks() const {
    QList<ShareLink> running;
    for (const ShareLink& link : links_) {
        const PortRow* row = firstRow(link.port);
        if (row && row->project() == link.project)
            running.append(link);
    }
    return running;
}

void AppState::probePendingLinks() {
    if (probing)
        return;
    QList<ShareLink> pending;
    for (const ShareLink& link : runningLinks()) {
        if (!liveHosts_.contains(link.host))
            pending.append(link);
    }
    if (pending.isEmpty())
        return;
    startDetached(
        runProbes(OverlapGuard(lifetime_.get(), [this](bool on) { probing = on; }), pending),
        "probe");
}

// One probe at a time, over the links as they were when the pass started.
QCoro::Task<> AppState::runProbes(OverlapGuard flag, QList<ShareLink> pending) {
    const OverlapGuard running = std::move(flag);
    const QPointer<QObject> alive = lifetime_.get();
    for (const ShareLink& link : pending) {
        const quint64 client = tunnel->generation();
        QCoro::Task<Public> probe = publicStatus(link.host);
        const Public answer = co_await probe;
        if (!alive)
            co_return;
        // The path was torn down while the probe was out: the answer is about the old one.
        if (tunnel->generation() != client)
            continue;
        switch (answer) {
        case Public::live:
            endedSince.forget(link.host);
            markLive(link.host);
            break;
        case Public::unreachable:
            endedSince.forget(link.host);
            break;
        case Public::ended:
            if (endedSince.ended(link.host, options_.clock()))
                dropEnded(link.host);
            break;
        }
    }
}

void AppState::dropEnded(const QString& host) {
    // The link may have gone meanwhile; then there is nothing to drop.
    const auto found = std::find_if(links_.cbegin(), links_.cend(),
                                    [&](const ShareLink& link) { return link.host == host; });
    if (found == links_.cend())
        return;
    qCInfo(stateLog).noquote() << HealthTexts::endedDropping(host);
    endedSince.forget(host);
    removeLocal(*found);
    publish(statusMessage_, HealthTexts::linkEnded);
}

void AppState::notePortHolders(const QList<PortScanner::Listener>& listing) {
    QList<qint64> ours{QCoreApplication::applicationPid()};
    for (const std::optional<pid_t> pid : {tunnel->processId(), tunnel->dyingPid()}) {
        if (pid)
            ours.append(*pid);
    }
    std::optional<QString> conflict;
    if (configured_) {
        if (const auto holder = PortHolders::foreignHolder(
                listing, {tunnel->metricsPort(), linkRouter().port()}, ours))
            conflict = HealthTexts::portHeld(holder->port, holder->command, holder->pid);
    }
    if (conflict == portConflict)
        return;
    if (!conflict) {
        clearStepFailure(portConflict);
        return;
    }
    qCCritical(stateLog).noquote() << *conflict;
    showStepFailure(portConflict, *conflict);
}

void AppState::heal() {
    // No repair frees a port another program holds; the bad period counts from its release.
    if (portConflict) {
        health.clear();
        return;
    }
    HealthObservation seen;
    seen.configured = configured_;
    seen.busy = isBusy_;
    seen.repairing = repairing;
    const QList<ShareLink> running = runningLinks();
    seen.anyRunningLink = !running.isEmpty();
    seen.tunnelReady = tunnelReady_;
    seen.anyRunningLinkLive =
        std::any_of(running.cbegin(), running.cend(),
                    [this](const auto& link) { return liveHosts_.contains(link.host); });
    // The router is asked only when there is something to judge: it is a hop to its thread.
    if (seen.configured && !seen.busy && !seen.repairing && seen.anyRunningLink)
        seen.routerListening = linkRouter().isListening();

    const HealthMonitor::Decision decision = health.judge(seen, options_.clock());
    switch (decision.action) {
    case HealthMonitor::Action::none:
        return;
    case HealthMonitor::Action::healthy:
        if (decision.recoveredAfter)
            qCInfo(stateLog).noquote() << HealthTexts::healthyAgain(*decision.recoveredAfter);
        if (statusMessage_ && HealthTexts::clearedWhenHealthy(*statusMessage_))
            publish(statusMessage_, std::nullopt);
        return;
    case HealthMonitor::Action::restart:
        qCCritical(stateLog).noquote() << HealthTexts::restarting(
            decision.elapsedSeconds, tunnelReady_, linkRouter().isListening(), liveHosts_.size(),
            decision.restartNumber);
        publish(statusMessage_, HealthTexts::reconnecting);
        // The next refresh starts the router and the client again.
        tunnel->stop();
        publish(tunnelReady_, false);
        publish(liveHosts_, QSet<QString>{});
        return;
    case HealthMonitor::Action::serviceCheck:
        startDetached(
            checkService(OverlapGuard(lifetime_.get(), [this](bool on) { repairing = on; })),
            "service check");
        return;
    }
}

QCoro::Task<> AppState::checkService(OverlapGuard flag) {
    const OverlapGuard checking = std::move(flag);
    const QPointer<QObject> alive = lifetime_.get();
    ServiceAnswer answer = ServiceAnswer::accepted;
    QString reason;
    try {
        const CancelToken cancel = requests_;
        co_await provisioner_.links(cancel);
    } catch (const ProvisionError& error) {
        answer = error.kind() == ProvisionError::Kind::unauthorized ? ServiceAnswer::rejected
                                                                    : ServiceAnswer::unreachable;
        reason = error.description();
    } catch (const UserFacingError& error) {
        answer = ServiceAnswer::unreachable;
        reason = error.description();
    }
    if (!alive)
        co_return;
    switch (health.afterServiceCheck(answer, tunnelReady_, options_.clock())) {
    case HealthMonitor::Verdict::cycle:
        qCCritical(stateLog).noquote() << HealthTexts::cycling();
        publish(statusMessage_, HealthTexts::unreachableRetrying);
        break;
    case HealthMonitor::Verdict::reset:
        qCCritical(stateLog).noquote() << HealthTexts::neverReady();
        publish(statusMessage_, HealthTexts::stuckResetting);
        reset();
        break;
    case HealthMonitor::Verdict::clear:
        qCCritical(stateLog).noquote() << HealthTexts::rejected();
        handleUnauthorized();
        break;
    case HealthMonitor::Verdict::offline:
        qCCritical(stateLog).noquote() << HealthTexts::offline(reason);
        break;
    }
}
