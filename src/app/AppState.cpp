#include "app/AppState.h"

#include "discovery/PortScanner.h"

AppState::AppState(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)),
      provisioner_(options_.supportDir, options_.apiBase), passphrases_(provisioner_.supportDir()),
      tunnel(std::make_unique<Tunnel>(provisioner_.supportDir(), options_.metricsPort,
                                      options_.router, options_.tunnelExecutable)) {
    if (!options_.scanner)
        options_.scanner = &PortScanner::scanWithListing;
    scanPool_.setMaxThreadCount(1);

    configured_ = provisioner_.isProvisioned();
    tunnel->reapStale();
    loadLocalLinks();
    startScanning();
    observeWake();
    if (configured_)
        startDetached(replayPendingKills(), "replayPendingKills");
}

AppState::~AppState() {
    lifetime_.reset();
    requests_.cancel();
    scanTimer.reset();
    // No tunnel client outlives the state that started it.
    if (tunnel->processId())
        tunnel->stop();
    tunnel->finishStopping(quitGrace);
    // A scan in flight finishes on its worker; its task sees the state gone and does nothing.
    scanPool_.waitForDone();
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
