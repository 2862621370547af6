#pragma once

#include "app/Detached.h"
#include "app/HealthMonitor.h"
#include "app/LinkPassphrases.h"
#include "app/PublicProbe.h"
#include "app/ShareLink.h"
#include "discovery/PortRow.h"
#include "discovery/PortScanner.h"
#include "platform/Clock.h"
#include "platform/WakeObserver.h"
#include "router/RouteRule.h"
#include "service/Provisioner.h"
#include "tunnel/Tunnel.h"

#include <QCoroTask>
#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>

// The seams tests reach through; the app's entry uses the defaults.
struct AppStateOptions {
    using Scanner = std::function<std::optional<PortScanner::ScanResult>()>;
    // Lists the local apps and the listening ports; absent when the listing failed. Empty means
    // the real port scan.
    Scanner scanner;
    std::chrono::milliseconds scanInterval{2000};
    Clock clock = systemClock();
    // Empty means the user's support directory.
    std::optional<QString> supportDir;
    // Empty means the build profile's link service.
    std::optional<QString> apiBase;
    // Null means the process-wide router.
    LinkRouter* router = nullptr;
    // Empty means the installed tunnel client.
    std::optional<QString> tunnelExecutable;
    qint64 metricsPort = TunnelConfig::defaultMetricsPort;
    // Where wake announcements come from. Empty means the system bus.
    std::optional<QDBusConnection> systemBus;
};

// The one object that holds and orchestrates what changes while the app runs. It lives on the
// main thread; every member is read and written there only.
class AppState : public QObject {
    Q_OBJECT
public:
    using Scanner = AppStateOptions::Scanner;
    using Options = AppStateOptions;

    explicit AppState(Options options = {}, QObject* parent = nullptr);
    ~AppState() override;

    // Published members: every assignment notifies through `changed`, also an equal one.
    const QList<PortRow>& rows() const { return rows_; }
    const QList<ShareLink>& links() const { return links_; }
    bool tunnelReady() const { return tunnelReady_; }
    const std::optional<QString>& statusMessage() const { return statusMessage_; }
    bool isScanning() const { return isScanning_; }
    bool isProvisioning() const { return isProvisioning_; }
    bool isBusy() const { return isBusy_; }
    bool configured() const { return configured_; }
    const std::optional<QString>& copiedHost() const { return copiedHost_; }
    const QSet<QString>& liveHosts() const { return liveHosts_; }

    // Queries for the panel and the link operations.
    bool hasActiveLinks() const;
    bool isWaiting(const ShareLink& link) const;
    QList<ShareLink> links(qint64 port) const;
    bool isAppRunning(const ShareLink& link) const;
    bool canRefresh(const ShareLink& link) const;

    // The link operations of the panel. Each returns at once and runs its slow part in a task;
    // share, renewal and stop are dropped, not queued, while another of them runs (isBusy).
    //
    // Makes a new link for the app and, once it answers through its public address (or after
    // a minute), puts its URL on the clipboard.
    void share(const PortRow& row);
    // Renews a link: a new link for the app now on its port, the old host ended.
    void refresh(const ShareLink& link);
    // Puts the link's public URL on the clipboard and names it in copiedHost for a moment.
    void copy(const ShareLink& link);
    // Stops a link: ends it at the service, or queues the end when the service cannot be
    // reached, and forgets it locally.
    void kill(const ShareLink& link);

    // Passphrases. A link with one lets in only visitors who know it; it ends with the link.
    std::optional<QString> passphrase(const ShareLink& link);
    // Sets the link's passphrase, tells the router and copies the URL with the passphrase.
    void protect(const ShareLink& link, const QString& passphrase);
    void unprotect(const ShareLink& link);

    // Checks the host once through its public address; never fails.
    QCoro::Task<Public> publicStatus(QString host) const;
    // Records the host as proven reachable; publishes only when it was not yet known.
    void markLive(const QString& host);

    // Ends the hosts at the service with all requests at once, cutting them off after
    // `timeout` seconds; hosts whose end succeeded leave the pending kills.
    QCoro::Task<> killRemote(QStringList hosts, double timeout);
    // Ends the hosts with all requests at once and returns when every one has finished. Blocks
    // the calling thread, which runs the ends in an event loop of its own: it needs no other
    // thread's loop, so the quit runs it on a thread of its own while the main thread waits.
    static void killEach(const Provisioner& provisioner, const QStringList& hosts,
                         CancelToken cancel = {});

    // Sleep, wake, quit and reset.
    // After a wake (and the panel's Restart): drops the links that expired meanwhile, forgets
    // what was known to work and stops the tunnel; the next refresh starts it again.
    void handleWake();
    // The user's quit: drops every link locally, queues their ends and sends them, blocking for
    // at most `timeout` seconds; ends still in flight then stay queued for the next start.
    void shutdownSync(double timeout);
    // A quit by the system (log-out, restart, shut-down): stops the tunnel and keeps the links,
    // locally and at the service, for the next start.
    void suspendForSystemQuit();
    // The last resort of the repair: ends every link, deletes the install at the service and
    // locally and leaves the app unconfigured. Returns at once.
    void reset();

    const Provisioner& provisioner() const { return provisioner_; }
    Tunnel& tunnelSupervisor() { return *tunnel; }

Q_SIGNALS:
    void changed();

private:
    // Tests look at the expiry timers and run the link file operations directly.
    friend class AppStateTestAccess;

    // Assigns a published member and notifies, also when the value is unchanged.
    template <typename T, typename V> void publish(T& member, V&& value) {
        member = std::forward<V>(value);
        Q_EMIT changed();
    }

    void startScanning();
    void refresh();
    QCoro::Task<> runRefresh(OverlapGuard flag);
    QCoro::Task<> checkReadiness();
    const PortRow* firstRow(qint64 port) const;
    void logAppsWhenChanged();

    // Links and their file.
    QString linksURL() const;
    void saveLinks();
    void loadLocalLinks();
    void scheduleExpiry(const ShareLink& link);
    void dropExpiryTimer(const QString& host);
    void removeLocal(const ShareLink& link);
    // Stops the first link whose expiry has passed, unless another link operation runs.
    void stopExpired();
    QList<RouteRule> activeRules() const;
    void syncTunnel();
    // Hands the passphrases of the current links to the router.
    void pushAccess();
    void handleUnauthorized();
    void dropAllExpiryTimers();
    LinkRouter& linkRouter() const;

    // Health repair.
    // The links whose local app is up: a row holds their port and the first such row is of
    // their project.
    QList<ShareLink> runningLinks() const;
    void probePendingLinks();
    QCoro::Task<> runProbes(OverlapGuard flag, QList<ShareLink> pending);
    void dropEnded(const QString& host);
    // Shows another program on the metrics or router port on the status line, and takes it
    // off again once the port is free.
    void notePortHolders(const QList<PortScanner::Listener>& listing);
    void heal();
    QCoro::Task<> checkService(OverlapGuard flag);

    // Reconciliation with the service, once per run.
    void reconcileIfNeeded();
    QCoro::Task<> runReconcile(OverlapGuard flag);
    QCoro::Task<> reconcileWithServer();

    // Sleep and quit.
    void observeWake();
    // A tunnel client sent SIGTERM on the way out gets at least this long to leave by itself
    // before SIGKILL.
    static constexpr std::chrono::milliseconds quitGrace{500};
    QStringList shutdownLocal();
    QCoro::Task<> runReset(OverlapGuard flag);

    // Link operations.
    OverlapGuard holdBusy();
    QCoro::Task<> runShare(OverlapGuard busy, qint64 port, QString project);
    QCoro::Task<> runRenewal(OverlapGuard busy, ShareLink old, qint64 port, QString project);
    QCoro::Task<> runKill(OverlapGuard busy, ShareLink link);
    // Mints a link for the port. On failure shows the error, or drops the install on a
    // rejection, and gives nothing.
    QCoro::Task<std::optional<RemoteLink>> mintOrReport(qint64 port);
    // Records a new link, waits until it answers (or the wait runs out) and copies its address.
    QCoro::Task<> handOver(RemoteLink minted, QString project);
    // Records a minted link: appended, saved, its expiry armed, the routes pushed, the status
    // cleared. Nothing, with the error shown, when the answer's expiry is no usable instant.
    std::optional<ShareLink> adopt(const RemoteLink& minted, const QString& project);
    QCoro::Task<bool> waitUntilLive(QString host, double timeout);
    QCoro::Task<> forgetCopied(QString host);

    // A background step's failure on the status line. The step's next success takes that text
    // off again, and leaves any other text there.
    void showStepFailure(std::optional<QString>& shown, const QString& text);
    void clearStepFailure(std::optional<QString>& shown);

    // Provisioning.
    void provisionIfNeeded();
    void provision();
    QCoro::Task<> runProvision(OverlapGuard provisioning);

    QCoro::Task<> replayPendingKills();

    // Published.
    QList<PortRow> rows_;
    QList<ShareLink> links_;
    bool tunnelReady_ = false;
    std::optional<QString> statusMessage_;
    bool isScanning_ = false;
    bool isProvisioning_ = false;
    bool isBusy_ = false;
    bool configured_ = false;
    std::optional<QString> copiedHost_;
    QSet<QString> liveHosts_;

    Options options_;
    Provisioner provisioner_;
    LinkPassphrases passphrases_;
    // Tasks check this instead of the state itself: it is gone before the state's destructor
    // cancels the requests in flight, whose tasks then resume and end at once.
    std::unique_ptr<QObject> lifetime_ = std::make_unique<QObject>();
    CancelToken requests_;

    // Not published.
    std::unique_ptr<Tunnel> tunnel;
    std::unique_ptr<QTimer> scanTimer;
    std::unordered_map<QString, std::unique_ptr<QTimer>> expiryTimers;
    // True while a scan refresh runs; a refresh that finds it set is dropped, not queued.
    bool scanTask = false;
    bool didReconcile = false;
    bool reconciling = false;
    std::optional<QDateTime> lastReconcileAttempt;
    // The status texts that a failed reconciliation and a failed tunnel start showed.
    std::optional<QString> reconcileFailure;
    std::optional<QString> tunnelStartFailure;
    std::optional<QDateTime> lastProvisionAttempt;
    // When the path went bad and the restarts made since.
    HealthMonitor health;
    bool repairing = false;
    // Per host, since when the public path has answered "ended" without a break.
    EndedGrace endedSince;
    bool probing = false;
    // The status text naming another program on one of our ports, while it holds it.
    std::optional<QString> portConflict;
    // A reset is under way: the app counts as unconfigured and installs nothing until it ends.
    bool resetting = false;
    // The apps the log named last, so it names them again only when they change.
    QString loggedApps;
    std::unique_ptr<WakeObserver> wakeObserver;

    // One low-priority worker: scans never run two at a time.
    QThreadPool scanPool_;
};
