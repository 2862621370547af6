#include "app/AppState.h"
#include "platform/StateLog.h"
#include "service/UserFacingError.h"

#include <QPointer>

namespace {

// The least time between the starts of two automatic install attempts.
constexpr qint64 provisioningThrottleMs = 10'000;

} // namespace

void AppState::provisionIfNeeded() {
    if (configured_ || isProvisioning_ || resetting)
        return;
    const QDateTime now = options_.clock();
    if (lastProvisionAttempt && lastProvisionAttempt->msecsTo(now) < provisioningThrottleMs)
        return;
    lastProvisionAttempt = now;
    provision();
}

void AppState::provision() {
    if (isProvisioning_)
        return;
    startDetached(runProvision(OverlapGuard(lifetime_.get(),
                                            [this](bool on) { publish(isProvisioning_, on); })),
                  "provision");
}

QCoro::Task<> AppState::runProvision(OverlapGuard provisioning) {
    const OverlapGuard running = std::move(provisioning);
    const QPointer<QObject> alive = lifetime_.get();
    std::optional<QString> failure;
    try {
        const CancelToken cancel = requests_;
        co_await provisioner_.install(cancel);
    } catch (const UserFacingError& error) {
        failure = error.description();
    }
    if (!alive)
        co_return;
    if (failure) {
        qCCritical(stateLog, "Setting up sharing failed: %s", qUtf8Printable(*failure));
        publish(statusMessage_, failure);
    } else {
        publish(configured_, true);
        publish(statusMessage_, std::nullopt);
    }
}
