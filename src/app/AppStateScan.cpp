#include "app/AppState.h"

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
    scanTask = true;
    runRefresh();
}

QCoro::Task<> AppState::runRefresh() {
    const QPointer<QObject> alive = lifetime_.get();
    // Named, not temporary: GCC 12 mishandles temporaries inside co_await expressions.
    QFuture<std::optional<QList<PortRow>>> scan = QtConcurrent::run(&scanPool_, options_.scanner);
    std::optional<QList<PortRow>> scanned = co_await scan;
    if (!alive)
        co_return;
    // A failed scan keeps the rows of the last one that succeeded.
    if (scanned)
        publish(rows_, std::move(*scanned));
    publish(isScanning_, false);
    provisionIfNeeded();
    reconcileIfNeeded();
    syncTunnel();
    co_await checkReadiness();
    if (!alive)
        co_return;
    heal();
    scanTask = false;
}

QCoro::Task<> AppState::checkReadiness() {
    const QPointer<QObject> alive = lifetime_.get();
    if (!tunnel->isRunning()) {
        publish(tunnelReady_, false);
        co_return;
    }
    const QString readyPath = QStringLiteral("/ready");
    const std::optional<MetricsAnswer> answer = co_await tunnel->metrics(readyPath);
    if (!alive)
        co_return;
    const bool ready = answer && answer->status == 200;
    publish(tunnelReady_, ready);
    if (!ready && !liveHosts_.isEmpty())
        publish(liveHosts_, QSet<QString>{});
    if (ready && statusMessage_ == reconnectingStatus)
        publish(statusMessage_, std::nullopt);
}
