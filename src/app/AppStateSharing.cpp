#include "app/AppState.h"
#include "app/EndAtService.h"
#include "app/Instant.h"
#include "app/StatusTexts.h"
#include "platform/Clipboard.h"
#include "platform/StateLog.h"
#include "service/PlatformErrors.h"
#include "service/ProvisionError.h"

#include <QCoroTimer>
#include <QPointer>

using namespace std::chrono_literals;

namespace {

const QString creatingStatus = QStringLiteral("Creating link\u2026");
const QString refreshingStatus = QStringLiteral("Refreshing\u2026");

// How long a new link may take to answer through its public address, in seconds.
constexpr double liveWaitSeconds = 60.0;
// The pause between two checks of a new link.
constexpr auto livePollPause = 1500ms;
// How long copiedHost names a copied host.
constexpr auto copiedShowTime = 1500ms;

} // namespace

void AppState::share(const PortRow& row) {
    if (!configured_) {
        publish(statusMessage_, StatusTexts::tunnelNotReady);
        return;
    }
    if (isBusy_)
        return;
    OverlapGuard busy = holdBusy();
    publish(statusMessage_, creatingStatus);
    startDetached(runShare(std::move(busy), row.port, row.project()), "share");
}

QCoro::Task<> AppState::runShare(OverlapGuard busy, qint64 port, QString project) {
    const OverlapGuard running = std::move(busy);
    const QPointer<QObject> alive = lifetime_.get();
    // Tasks are named before they are awaited: GCC 12 mishandles temporaries inside co_await.
    QCoro::Task<std::optional<RemoteLink>> minting = mintOrReport(port);
    const std::optional<RemoteLink> minted = co_await minting;
    if (!alive || !minted)
        co_return;
    QCoro::Task<> handing = handOver(*minted, project);
    co_await handing;
}

void AppState::refresh(const ShareLink& link) {
    const PortRow* row = firstRow(link.port);
    if (!row) {
        publish(statusMessage_, StatusTexts::portNotRunning);
        return;
    }
    if (isBusy_)
        return;
    // The port's app now: the renewed link belongs to it, whatever project the old one had.
    const qint64 port = row->port;
    const QString project = row->project();
    OverlapGuard busy = holdBusy();
    publish(statusMessage_, refreshingStatus);
    startDetached(runRenewal(std::move(busy), link, port, project), "refresh");
}

QCoro::Task<> AppState::runRenewal(OverlapGuard busy, ShareLink old, qint64 port, QString project) {
    const OverlapGuard running = std::move(busy);
    const QPointer<QObject> alive = lifetime_.get();
    QCoro::Task<std::optional<RemoteLink>> minting = mintOrReport(port);
    const std::optional<RemoteLink> minted = co_await minting;
    if (!alive || !minted)
        co_return;
    bool ended = true;
    try {
        const CancelToken cancel = requests_;
        QCoro::Task<> ending = endAtService(provisioner_, old.host, cancel);
        co_await ending;
    } catch (const UserFacingError&) {
        ended = false;
    }
    if (!alive)
        co_return;
    // The renewal goes on without a word: the old host is ended later from the queue.
    if (!ended)
        provisioner_.addPendingKills({old.host});
    removeLocal(old);
    QCoro::Task<> handing = handOver(*minted, project);
    co_await handing;
}

QCoro::Task<> AppState::handOver(RemoteLink minted, QString project) {
    const QPointer<QObject> alive = lifetime_.get();
    const std::optional<ShareLink> link = adopt(minted, project);
    if (!link)
        co_return;
    QCoro::Task<bool> waiting = waitUntilLive(link->host, liveWaitSeconds);
    co_await waiting;
    if (!alive)
        co_return;
    copy(*link);
}

QCoro::Task<std::optional<RemoteLink>> AppState::mintOrReport(qint64 port) {
    const QPointer<QObject> alive = lifetime_.get();
    std::optional<RemoteLink> minted;
    std::optional<QString> failure;
    bool unauthorized = false;
    try {
        const CancelToken cancel = requests_;
        QCoro::Task<RemoteLink> minting = provisioner_.mint(port, cancel);
        minted = co_await minting;
    } catch (const ProvisionError& error) {
        unauthorized = error.kind() == ProvisionError::Kind::unauthorized;
        failure = error.description();
    } catch (const UserFacingError& error) {
        failure = error.description();
    }
    if (!alive)
        co_return std::nullopt;
    if (unauthorized)
        handleUnauthorized();
    else if (failure) {
        qCCritical(stateLog, "Link for port %lld not made: %s", port, qUtf8Printable(*failure));
        publish(statusMessage_, failure);
    }
    co_return minted;
}

std::optional<ShareLink> AppState::adopt(const RemoteLink& minted, const QString& project) {
    const std::optional<QDateTime> expiresAt = Instant::fromMsecsSinceEpoch(minted.expiresAt);
    if (!expiresAt) {
        // No timer could ever end such a link: it is ended at the service instead.
        provisioner_.addPendingKills({minted.host});
        publish(statusMessage_, JsonError::outOfRange(QStringLiteral("expiresAt")).description());
        return std::nullopt;
    }
    const ShareLink link{minted.host, minted.port, *expiresAt, project};
    QList<ShareLink> links = links_;
    links.append(link);
    publish(links_, std::move(links));
    saveLinks();
    scheduleExpiry(link);
    syncTunnel();
    publish(statusMessage_, std::nullopt);
    qCInfo(stateLog, "Link for %s on port %lld: %s", qUtf8Printable(project), link.port,
           qUtf8Printable(publicURL(link.host)));
    return link;
}

QCoro::Task<bool> AppState::waitUntilLive(QString host, double timeout) {
    const QPointer<QObject> alive = lifetime_.get();
    const QDateTime deadline =
        options_.clock().addMSecs(static_cast<qint64>(std::max(0.0, timeout) * 1000.0));
    while (options_.clock() < deadline) {
        const quint64 client = tunnel->generation();
        QCoro::Task<Public> checking = PublicProbe::publicStatus(host);
        const Public status = co_await checking;
        if (!alive)
            co_return false;
        if (status == Public::live && tunnel->generation() == client) {
            markLive(host);
            co_return true;
        }
        QCoro::Task<> pause = QCoro::sleepFor(livePollPause);
        co_await pause;
        if (!alive)
            co_return false;
    }
    co_return false;
}

QCoro::Task<Public> AppState::publicStatus(QString host) const {
    return PublicProbe::publicStatus(std::move(host));
}

void AppState::markLive(const QString& host) {
    if (liveHosts_.contains(host))
        return;
    QSet<QString> live = liveHosts_;
    live.insert(host);
    publish(liveHosts_, std::move(live));
}

void AppState::copy(const ShareLink& link) {
    putOnClipboard(publicURL(link.host));
    publish(copiedHost_, link.host);
    startDetached(forgetCopied(link.host), "copy");
}

QCoro::Task<> AppState::forgetCopied(QString host) {
    const QPointer<QObject> alive = lifetime_.get();
    QCoro::Task<> pause = QCoro::sleepFor(copiedShowTime);
    co_await pause;
    // A later copy of another host owns copiedHost now and clears it itself.
    if (alive && copiedHost_ == host)
        publish(copiedHost_, std::nullopt);
}
