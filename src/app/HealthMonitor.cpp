#include "app/HealthMonitor.h"

HealthMonitor::Decision HealthMonitor::judge(const HealthObservation& seen, const QDateTime& now) {
    if (!seen.configured || seen.busy || seen.repairing)
        return {};
    // With no running link there is nothing to judge; a bad period keeps counting meanwhile.
    if (!seen.anyRunningLink)
        return {};

    if (seen.tunnelReady && seen.routerListening && seen.anyRunningLinkLive) {
        Decision decision{Action::healthy, std::nullopt, 0, 0};
        if (unhealthySince_)
            decision.recoveredAfter = repairs_;
        clear();
        return decision;
    }

    if (!unhealthySince_)
        unhealthySince_ = now;
    const qint64 elapsed = unhealthySince_->secsTo(now);
    if (unhealthySince_->msecsTo(now) < (repairs_ + 1) * restartStepSeconds * 1000)
        return {};
    if (repairs_ >= restartsBeforeCheck)
        return {Action::serviceCheck, std::nullopt, elapsed, 0};
    ++repairs_;
    return {Action::restart, std::nullopt, elapsed, repairs_};
}

HealthMonitor::Verdict HealthMonitor::afterServiceCheck(ServiceAnswer answer, bool tunnelReady,
                                                        const QDateTime& now) {
    switch (answer) {
    case ServiceAnswer::accepted:
        if (!tunnelReady)
            return Verdict::reset;
        unhealthySince_ = now;
        repairs_ = 0;
        return Verdict::cycle;
    case ServiceAnswer::rejected:
        return Verdict::clear;
    case ServiceAnswer::unreachable:
        break;
    }
    // No restart while offline: the next check falls due a full cycle later.
    unhealthySince_ = now;
    repairs_ = restartsBeforeCheck;
    return Verdict::offline;
}

void HealthMonitor::clear() {
    unhealthySince_.reset();
    repairs_ = 0;
}

bool EndedGrace::ended(const QString& host, const QDateTime& now) {
    const auto found = since_.constFind(host);
    const QDateTime first = found == since_.constEnd() ? now : *found;
    since_.insert(host, first);
    return first.msecsTo(now) >= graceSeconds * 1000;
}
