// Wake, quit by the user or by the system, and reset.
#include "app/AppState.h"
#include "app/HealthTexts.h"
#include "router/LinkRouter.h"
#include "service/UserFacingError.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <thread>

namespace {

// Links that expired during sleep are ended at the service within this many seconds.
constexpr double wakeKillTimeout = 3.0;
// A reset ends the links it drops within this many seconds.
constexpr double resetKillTimeout = 3.0;

} // namespace

void AppState::observeWake() {
    wakeObserver = options_.systemBus ? std::make_unique<WakeObserver>(*options_.systemBus)
                                      : std::make_unique<WakeObserver>();
    // With the state as the connection's context nothing runs once the state is gone.
    connect(wakeObserver.get(), &WakeObserver::woke, this, [this] { handleWake(); });
}

void AppState::handleWake() {
    const QDateTime now = options_.clock();
    QStringList expired;
    for (const ShareLink& link : links_) {
        if (link.expiresAt <= now && !expired.contains(link.host))
            expired.append(link.host);
    }
    if (!expired.isEmpty()) {
        QList<ShareLink> kept;
        for (const ShareLink& link : links_) {
            if (!expired.contains(link.host))
                kept.append(link);
        }
        publish(links_, kept);
        for (const QString& host : expired)
            dropExpiryTimer(host);
        saveLinks();
        provisioner_.addPendingKills(expired);
        startDetached(killRemote(expired, wakeKillTimeout), "wake ends");
    }
    // Timers count only the time awake: each kept link's timer is armed again from the clock.
    const QList<ShareLink> current = links_;
    for (const ShareLink& link : current)
        scheduleExpiry(link);
    // After a sleep nothing is known to work.
    publish(liveHosts_, QSet<QString>{});
    health.clear();
    publish(tunnelReady_, false);
    // Their connections did not survive the sleep; the next refresh starts both again.
    tunnel->stop();
    tunnel->reapStale();
    if (hasActiveLinks())
        publish(statusMessage_, HealthTexts::reconnecting);
}

QStringList AppState::shutdownLocal() {
    QStringList hosts;
    for (const ShareLink& link : links_)
        hosts.append(link.host);
    tunnel->stop();
    publish(links_, QList<ShareLink>{});
    saveLinks();
    dropAllExpiryTimers();
    publish(tunnelReady_, false);
    publish(liveHosts_, QSet<QString>{});
    health.clear();
    endedSince.clear();
    // Queued before any attempt, so a host the caller does not manage to end is ended at the
    // next start.
    provisioner_.addPendingKills(hosts);
    return hosts;
}

void AppState::shutdownSync(double timeout) {
    QElapsedTimer elapsed;
    elapsed.start();
    const QStringList hosts = shutdownLocal();
    if (!hosts.isEmpty()) {
        // The ends run on a thread of their own: this thread blocks and runs no event loop.
        const auto done = std::make_shared<QSemaphore>(0);
        const CancelToken cancel;
        std::thread([provisioner = provisioner_, hosts, cancel, done] {
            killEach(provisioner, hosts, cancel);
            done->release();
        }).detach();
        const auto limit = static_cast<int>(std::max(0.0, timeout) * 1000);
        // Ends still in flight are given up; their hosts stay queued.
        if (!done->tryAcquire(1, limit))
            cancel.cancel();
    }
    tunnel->finishStopping(std::max(std::chrono::milliseconds(0),
                                    quitGrace - std::chrono::milliseconds(elapsed.elapsed())));
}

void AppState::suspendForSystemQuit() {
    tunnel->stop();
    dropAllExpiryTimers();
    tunnel->finishStopping(quitGrace);
}

void AppState::reset() {
    if (resetting)
        return;
    startDetached(runReset(OverlapGuard(lifetime_.get(), [this](bool on) { resetting = on; })),
                  "reset");
}

QCoro::Task<> AppState::runReset(OverlapGuard flag) {
    const OverlapGuard running = std::move(flag);
    const QPointer<QObject> alive = lifetime_.get();
    // Unconfigured from the first step: no refresh relaunches the client on the credentials
    // being deleted, and no share mints on the install being deleted.
    publish(configured_, false);
    const QStringList hosts = shutdownLocal();
    if (!hosts.isEmpty()) {
        co_await killRemote(hosts, resetKillTimeout);
        if (!alive)
            co_return;
    }
    try {
        const CancelToken cancel = requests_;
        co_await provisioner_.deleteInstall(cancel);
    } catch (const UserFacingError&) {
        // The local install goes in every case.
    }
    if (!alive)
        co_return;
    provisioner_.clearLocal();
    publish(statusMessage_, std::nullopt);
}
