#include "app/AppState.h"
#include "app/EndAtService.h"
#include "service/ProvisionError.h"

#include <QPointer>
#include <QTimer>
#include <vector>

namespace {

// One end at the service; a success takes the host off the pending kills, a failure is ignored.
QCoro::Task<> endOne(Provisioner provisioner, QString host, CancelToken cancel) {
    try {
        QCoro::Task<> ending = endAtService(provisioner, host, std::move(cancel));
        co_await ending;
        provisioner.removePendingKill(host);
    } catch (const UserFacingError&) {
    }
}

// Every end at once, on the calling thread's event loop; returns when all have finished.
QCoro::Task<> endAll(Provisioner provisioner, QStringList hosts, CancelToken cancel) {
    std::vector<QCoro::Task<>> ends;
    ends.reserve(static_cast<std::size_t>(hosts.size()));
    for (const QString& host : hosts)
        ends.push_back(endOne(provisioner, host, cancel));
    for (QCoro::Task<>& end : ends)
        co_await end;
}

} // namespace

void AppState::killEach(const Provisioner& provisioner, const QStringList& hosts,
                        CancelToken cancel) {
    if (hosts.isEmpty())
        return;
    // The calling thread runs the ends in a loop of its own, so it needs no other thread's.
    QCoro::waitFor(endAll(provisioner, hosts, std::move(cancel)));
}

QCoro::Task<> AppState::killRemote(QStringList hosts, double timeout) {
    const CancelToken cancel;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    watchdog.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watchdog, &QTimer::timeout, [cancel] { cancel.cancel(); });
    watchdog.start(std::chrono::milliseconds(static_cast<qint64>(std::max(0.0, timeout) * 1000)));
    // Named, not temporary: GCC 12 mishandles temporaries inside co_await expressions.
    QCoro::Task<> ends = endAll(provisioner_, std::move(hosts), cancel);
    co_await ends;
}

QCoro::Task<> AppState::replayPendingKills() {
    const QPointer<QObject> alive = lifetime_.get();
    const Provisioner provisioner = provisioner_;
    const QStringList hosts = provisioner.pendingKills();
    for (const QString& host : hosts) {
        try {
            const CancelToken cancel = requests_;
            QCoro::Task<> ending = endAtService(provisioner, host, cancel);
            co_await ending;
            provisioner.removePendingKill(host);
        } catch (const ProvisionError& error) {
            if (error.kind() == ProvisionError::Kind::unauthorized) {
                // The service no longer takes this install: none of the queued ends can succeed.
                for (const QString& queued : hosts)
                    provisioner.removePendingKill(queued);
                co_return;
            }
        } catch (const UserFacingError&) {
        }
        if (!alive)
            co_return;
    }
}
