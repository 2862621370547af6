#include "app/AppState.h"

#include "discovery/PortScanner.h"

#include <QCoroFuture>
#include <QPointer>
#include <QtConcurrent>

AppState::AppState(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    if (!options_.scanner)
        options_.scanner = &PortScanner::scan;
    scanPool_.setMaxThreadCount(1);
    scanPool_.setThreadPriority(QThread::LowPriority);
    startScanning();
}

AppState::~AppState() {
    scanTimer.reset();
    // A scan in flight finishes on its worker; its task sees the state gone and does nothing.
    scanPool_.waitForDone();
}

void AppState::setRows(QList<PortRow> value) {
    rows_ = std::move(value);
    Q_EMIT changed();
}
void AppState::setLinks(QList<ShareLink> value) {
    links_ = std::move(value);
    Q_EMIT changed();
}
void AppState::setTunnelReady(bool value) {
    tunnelReady_ = value;
    Q_EMIT changed();
}
void AppState::setStatusMessage(std::optional<QString> value) {
    statusMessage_ = std::move(value);
    Q_EMIT changed();
}
void AppState::setIsScanning(bool value) {
    isScanning_ = value;
    Q_EMIT changed();
}
void AppState::setIsProvisioning(bool value) {
    isProvisioning_ = value;
    Q_EMIT changed();
}
void AppState::setIsBusy(bool value) {
    isBusy_ = value;
    Q_EMIT changed();
}
void AppState::setConfigured(bool value) {
    configured_ = value;
    Q_EMIT changed();
}
void AppState::setCopiedHost(std::optional<QString> value) {
    copiedHost_ = std::move(value);
    Q_EMIT changed();
}
void AppState::setLiveHosts(QSet<QString> value) {
    liveHosts_ = std::move(value);
    Q_EMIT changed();
}

void AppState::startScanning() {
    refresh();
    scanTimer = std::make_unique<QTimer>();
    scanTimer->setInterval(options_.scanInterval);
    connect(scanTimer.get(), &QTimer::timeout, this, [self = QPointer(this)] {
        if (self)
            self->refresh();
    });
    scanTimer->start();
}

void AppState::refresh() {
    if (scanTask)
        return;
    setIsScanning(rows_.isEmpty());
    scanTask = true;
    runRefresh();
}

QCoro::Task<> AppState::runRefresh() {
    const QPointer self(this);
    std::optional<QList<PortRow>> scanned =
        co_await QtConcurrent::run(&scanPool_, options_.scanner);
    if (!self)
        co_return;
    // A failed scan keeps the rows of the last one that succeeded.
    if (scanned)
        setRows(std::move(*scanned));
    setIsScanning(false);
    scanTask = false;
}

const PortRow* AppState::firstRow(qint64 port) const {
    for (const PortRow& row : rows_) {
        if (row.port == port)
            return &row;
    }
    return nullptr;
}

bool AppState::hasActiveLinks() const {
    return std::any_of(links_.cbegin(), links_.cend(),
                       [this](const ShareLink& link) { return !isWaiting(link); });
}

bool AppState::isWaiting(const ShareLink& link) const {
    const PortRow* row = firstRow(link.port);
    return row && row->project() != link.project;
}

QList<ShareLink> AppState::links(qint64 port) const {
    QList<ShareLink> found;
    for (const ShareLink& link : links_) {
        if (link.port == port)
            found.append(link);
    }
    return found;
}

bool AppState::isAppRunning(const ShareLink& link) const {
    return firstRow(link.port) != nullptr;
}

bool AppState::canRefresh(const ShareLink& link) const {
    return isAppRunning(link);
}
