// Health repair: judging the whole public path each refresh and repairing it step by step.
#include "app/AppState.h"
#include "app/HealthTexts.h"
#include "platform/StateLog.h"
#include "router/LinkRouter.h"
#include "service/ProvisionError.h"

#include <QPointer>

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

void AppState::heal() {
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
        repairing = true;
        checkService();
        return;
    }
}

QCoro::Task<> AppState::checkService() {
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
    repairing = false;
}
