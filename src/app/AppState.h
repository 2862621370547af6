#pragma once

#include "app/ShareLink.h"
#include "discovery/PortRow.h"
#include "platform/Clock.h"

#include <QCoroTask>
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

// The seams tests reach through; the app's entry uses the defaults.
struct AppStateOptions {
    using Scanner = std::function<std::optional<QList<PortRow>>()>;
    // Lists the local apps; absent when the listing failed. Empty means the real port scan.
    Scanner scanner;
    std::chrono::milliseconds scanInterval{2000};
    Clock clock = systemClock();
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

Q_SIGNALS:
    void changed();

private:
    void setRows(QList<PortRow> value);
    void setLinks(QList<ShareLink> value);
    void setTunnelReady(bool value);
    void setStatusMessage(std::optional<QString> value);
    void setIsScanning(bool value);
    void setIsProvisioning(bool value);
    void setIsBusy(bool value);
    void setConfigured(bool value);
    void setCopiedHost(std::optional<QString> value);
    void setLiveHosts(QSet<QString> value);

    void startScanning();
    void refresh();
    QCoro::Task<> runRefresh();
    const PortRow* firstRow(qint64 port) const;

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

    // Not published.
    std::unique_ptr<QTimer> scanTimer;
    QHash<QString, std::shared_ptr<QTimer>> expiryTimers;
    // True while a scan refresh runs; a refresh that finds it set is dropped, not queued.
    bool scanTask = false;
    bool didReconcile = false;
    bool reconciling = false;
    std::optional<QDateTime> lastReconcileAttempt;
    std::optional<QDateTime> lastProvisionAttempt;
    std::optional<QDateTime> unhealthySince;
    qint64 repairs = 0;
    bool repairing = false;
    QHash<QString, QDateTime> endedSince;
    bool probing = false;

    Options options_;
    // One low-priority worker: scans never run two at a time.
    QThreadPool scanPool_;
};
