// Bringing the local links in step with the service's list, once per run.
#include "app/AppState.h"
#include "app/EndAtService.h"
#include "app/HealthTexts.h"
#include "app/Reconciliation.h"
#include "platform/StateLog.h"
#include "service/ProvisionError.h"

#include <QPointer>

namespace {

// The least time between the starts of two reconciliations while the service cannot be reached.
constexpr qint64 reconcileThrottleMs = 10'000;

} // namespace

void AppState::reconcileIfNeeded() {
    if (!configured_ || didReconcile || reconciling)
        return;
    const QDateTime now = options_.clock();
    if (lastReconcileAttempt && lastReconcileAttempt->msecsTo(now) < reconcileThrottleMs)
        return;
    lastReconcileAttempt = now;
    startDetached(
        runReconcile(OverlapGuard(lifetime_.get(), [this](bool on) { reconciling = on; })),
        "reconcile");
}

QCoro::Task<> AppState::runReconcile(OverlapGuard flag) {
    const OverlapGuard running = std::move(flag);
    co_await reconcileWithServer();
}

QCoro::Task<> AppState::reconcileWithServer() {
    const QPointer<QObject> alive = lifetime_.get();
    LinksResponse remote;
    std::optional<QString> failure;
    bool rejected = false;
    try {
        const CancelToken cancel = requests_;
        remote = co_await provisioner_.links(cancel);
    } catch (const ProvisionError& error) {
        rejected = error.kind() == ProvisionError::Kind::unauthorized;
        failure = error.description();
    } catch (const UserFacingError& error) {
        failure = error.description();
    }
    if (!alive)
        co_return;
    if (rejected) {
        didReconcile = true;
        handleUnauthorized();
        co_return;
    }
    if (failure) {
        // Tried again by a refresh at least the throttle after this attempt.
        qCCritical(stateLog).noquote() << HealthTexts::reconcileFailed(*failure);
        showStepFailure(reconcileFailure, *failure);
        co_return;
    }

    // Read only now: links shared or stopped while the listing was on its way count.
    const Reconciliation merged = Reconciliation::merge(links_, remote.links);
    publish(links_, merged.kept);
    // A share or stop in progress keeps the orphans at the service, unqueued, for this run.
    if (!isBusy_) {
        for (const QString& host : merged.orphans) {
            bool ended = true;
            try {
                const CancelToken cancel = requests_;
                QCoro::Task<> ending = endAtService(provisioner_, host, cancel);
                co_await ending;
            } catch (const ProvisionError& error) {
                rejected = error.kind() == ProvisionError::Kind::unauthorized;
                ended = false;
            } catch (const UserFacingError&) {
                ended = false;
            }
            if (!alive)
                co_return;
            if (rejected) {
                didReconcile = true;
                handleUnauthorized();
                co_return;
            }
            if (!ended)
                provisioner_.addPendingKills({host});
        }
    }
    saveLinks();
    // Every timer is re-armed for the expiry the service gave; one already passed stops its link.
    dropAllExpiryTimers();
    const QList<ShareLink> current = links_;
    for (const ShareLink& link : current)
        scheduleExpiry(link);
    didReconcile = true;
    clearStepFailure(reconcileFailure);
    syncTunnel();
}
