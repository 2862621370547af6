#include "app/AppState.h"
#include "app/EndAtService.h"
#include "service/ProvisionError.h"

#include <QCoroFuture>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>
#include <memory>

namespace {

// One end at the service; a success takes the host off the pending kills, a failure is ignored.
QCoro::Task<> killOne(Provisioner provisioner, QString host, CancelToken cancel,
                      std::shared_ptr<int> remaining, QEventLoop* loop) {
    try {
        QCoro::Task<> ending = endAtService(provisioner, host, cancel);
        co_await ending;
        provisioner.removePendingKill(host);
    } catch (const UserFacingError&) {
    }
    if (--*remaining == 0)
        loop->quit();
}

// Runs the ends on a thread of its own, with its own event loop and network client, so it works
// while the calling thread is blocked. With a time limit, the ends still in flight are cancelled
// when it runs out.
void runEnds(const Provisioner& provisioner, const QStringList& hosts, CancelToken cancel,
             std::optional<std::chrono::milliseconds> limit) {
    if (hosts.isEmpty())
        return;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        QEventLoop loop;
        QTimer watchdog;
        if (limit) {
            watchdog.setSingleShot(true);
            watchdog.setTimerType(Qt::PreciseTimer);
            QObject::connect(&watchdog, &QTimer::timeout, [&] { cancel.cancel(); });
            watchdog.start(*limit);
        }
        auto remaining = std::make_shared<int>(static_cast<int>(hosts.size()));
        for (const QString& host : hosts)
            killOne(provisioner, host, cancel, remaining, &loop);
        if (*remaining > 0)
            loop.exec();
    }));
    worker->start();
    worker->wait();
}

} // namespace

void AppState::killEach(const Provisioner& provisioner, const QStringList& hosts,
                        CancelToken cancel) {
    runEnds(provisioner, hosts, std::move(cancel), std::nullopt);
}

QCoro::Task<> AppState::killRemote(QStringList hosts, double timeout) {
    const Provisioner provisioner = provisioner_;
    const auto limit =
        std::chrono::milliseconds(static_cast<qint64>(std::max(0.0, timeout) * 1000));
    // Awaited through a named future: GCC 12 mishandles temporaries inside co_await expressions.
    QFuture<void> ends = QtConcurrent::run(
        [provisioner, hosts, limit] { runEnds(provisioner, hosts, CancelToken(), limit); });
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
