#include "app/AppState.h"
#include "platform/StateLog.h"
#include "platform/ThreadPriority.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

namespace {

const QString reconnectingStatus = QStringLiteral("Reconnecting\u2026");

} // namespace

void AppState::startScanning() {
    refresh();
    scanTimer = std::make_unique<QTimer>();
    scanTimer->setInterval(options_.scanInterval);
    // With the state as the connection's context the action never runs once the state is gone.
    connect(scanTimer.get(), &QTimer::timeout, this, [this] { refresh(); });
    scanTimer->start();
}

void AppState::refresh() {
    if (scanTask)
        return;
    publish(isScanning_, rows_.isEmpty());
    startDetached(runRefresh(OverlapGuard(lifetime_.get(), [this](bool on) { scanTask = on; })),
                  "refresh");
}

QCoro::Task<> AppState::runRefresh(OverlapGuard flag) {
    const OverlapGuard running = std::move(flag);
    const QPointer<QObject> alive = lifetime_.get();
    // The scan and the tools it starts run nicer than the desktop. The pool's thread comes and
    // goes, so each scan lowers the thread it runs on.
    const Scanner scanner = options_.scanner;
    const quint64 client = tunnel->generation();
    // Named, not temporary: GCC 12 mishandles temporaries inside co_await expressions.
    QFuture<std::optional<PortScanner::ScanResult>> scan = QtConcurrent::run(&scanPool_, [scanner] {
        lowerCurrentThreadPriority();
        return scanner();
    });
    std::optional<PortScanner::ScanResult> scanned = co_await scan;
    if (!alive)
        co_return;
    // A failed scan keeps the rows of the last one that succeeded.
    if (scanned) {
        publish(rows_, std::move(scanned->rows));
        logAppsWhenChanged();
        // The listing names the client of the scan's start; one started since is not in it.
        if (tunnel->generation() == client)
            notePortHolders(scanned->listing);
    }
    publish(isScanning_, false);
    provisionIfNeeded();
    reconcileIfNeeded();
    syncTunnel();
    co_await checkReadiness();
    if (!alive)
        co_return;
    probePendingLinks();
    heal();
}

QCoro::Task<> AppState::checkReadiness() {
    const QPointer<QObject> alive = lifetime_.get();
    if (!tunnel->isRunning()) {
        publish(tunnelReady_, false);
        co_return;
    }
    const quint64 client = tunnel->generation();
    const bool ready = co_await tunnel->isReady();
    // An answer from a client stopped meanwhile says nothing about the one that runs now.
    if (!alive || tunnel->generation() != client)
        co_return;
    publish(tunnelReady_, ready);
    if (!ready && !liveHosts_.isEmpty())
        publish(liveHosts_, QSet<QString>{});
    if (ready && statusMessage_ == reconnectingStatus)
        publish(statusMessage_, std::nullopt);
}

void AppState::logAppsWhenChanged() {
    QStringList apps;
    for (const PortRow& row : rows_)
        apps.append(row.label + QStringLiteral(" (") + QString::number(row.port) +
                    QLatin1Char(')'));
    const QString summary =
        apps.isEmpty() ? QStringLiteral("none") : apps.join(QStringLiteral(", "));
    if (summary == loggedApps)
        return;
    loggedApps = summary;
    qCInfo(stateLog, "Local apps: %s", qUtf8Printable(summary));
}
