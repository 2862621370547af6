#include "app/AppState.h"
#include "app/EndAtService.h"
#include "app/LinksFile.h"
#include "platform/StateLog.h"
#include "service/ProvisionError.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <algorithm>

namespace {

const QString linkExpiredStatus = QStringLiteral("Link expired");

} // namespace

QString AppState::linksURL() const {
    return provisioner_.fileURL(QString::fromLatin1(LinksFile::fileName));
}

void AppState::saveLinks() {
    try {
        provisioner_.ensureSupportDir();
    } catch (const UserFacingError&) {
        // The write below fails too and the previous file, or none, stays.
    }
    const std::optional<QByteArray> content = LinksFile::encode(links_);
    if (!content)
        return;
    try {
        Provisioner::writeSecure(*content, linksURL());
    } catch (const UserFacingError&) {
        // The previous file, or none, stays; the next save tries again.
    }
    QFile::setPermissions(linksURL(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    // Every change to the links is saved here, so here their passphrases end with them.
    QSet<QString> hosts;
    for (const ShareLink& link : links_)
        hosts.insert(link.host);
    passphrases_.retainOnly(hosts);
}

void AppState::loadLocalLinks() {
    QFile file(linksURL());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const std::optional<QList<ShareLink>> saved = LinksFile::decode(file.readAll());
    if (!saved)
        return;
    const QDateTime now = options_.clock();
    QList<ShareLink> current;
    for (const ShareLink& link : *saved) {
        if (link.expiresAt > now)
            current.append(link);
    }
    publish(links_, current);
    for (const ShareLink& link : current)
        scheduleExpiry(link);
}

void AppState::dropExpiryTimer(const QString& host) {
    const auto found = expiryTimers.find(host);
    if (found == expiryTimers.end())
        return;
    found->second->stop();
    // Deleted later: this may run inside the timer's own firing.
    found->second.release()->deleteLater();
    expiryTimers.erase(found);
}

void AppState::dropAllExpiryTimers() {
    const QStringList hosts = [this] {
        QStringList armed;
        for (const auto& [host, timer] : expiryTimers)
            armed.append(host);
        return armed;
    }();
    for (const QString& host : hosts)
        dropExpiryTimer(host);
}

void AppState::scheduleExpiry(const ShareLink& link) {
    dropExpiryTimer(link.host);
    const qint64 msecsLeft = options_.clock().msecsTo(link.expiresAt);
    if (msecsLeft <= 0) {
        kill(link);
        return;
    }
    auto timer = std::make_unique<QTimer>();
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    // QTimer takes an int of milliseconds; a link that outlives that is re-armed on the way.
    timer->setInterval(
        static_cast<int>(std::min<qint64>(msecsLeft, std::numeric_limits<int>::max())));
    // With the state as the connection's context the action never runs once the state is gone.
    connect(timer.get(), &QTimer::timeout, this, [this, link] {
        if (options_.clock().msecsTo(link.expiresAt) > 0) {
            scheduleExpiry(link);
            return;
        }
        publish(statusMessage_, linkExpiredStatus);
        kill(link);
    });
    timer->start();
    expiryTimers[link.host] = std::move(timer);
}

void AppState::removeLocal(const ShareLink& link) {
    // Copied first: `link` may be a record of links_, which the publish below frees.
    const QString host = link.host;
    QList<ShareLink> kept;
    for (const ShareLink& other : links_) {
        if (other.host != host)
            kept.append(other);
    }
    publish(links_, kept);
    if (liveHosts_.contains(host)) {
        QSet<QString> live = liveHosts_;
        live.remove(host);
        publish(liveHosts_, live);
    }
    saveLinks();
    dropExpiryTimer(host);
}

OverlapGuard AppState::holdBusy() {
    return OverlapGuard(lifetime_.get(), [this](bool on) {
        publish(isBusy_, on);
        // An expiry met while the operation ran had its stop dropped. Queued: the guard goes
        // while the operation's task ends.
        if (!on)
            QMetaObject::invokeMethod(
                this, [this] { stopExpired(); }, Qt::QueuedConnection);
    });
}

void AppState::stopExpired() {
    const QDateTime now = options_.clock();
    const auto found = std::find_if(links_.cbegin(), links_.cend(),
                                    [&](const ShareLink& link) { return link.expiresAt <= now; });
    if (found == links_.cend())
        return;
    // Its stop ends with the flag clearing again, which stops the next one.
    kill(*found);
}

void AppState::kill(const ShareLink& link) {
    if (isBusy_)
        return;
    startDetached(runKill(holdBusy(), link), "kill");
}

QCoro::Task<> AppState::runKill(OverlapGuard busy, ShareLink link) {
    const OverlapGuard running = std::move(busy);
    const QPointer<QObject> alive = lifetime_.get();
    std::optional<QString> failure;
    bool unauthorized = false;
    try {
        const CancelToken cancel = requests_;
        QCoro::Task<> ending = endAtService(provisioner_, link.host, cancel);
        co_await ending;
    } catch (const ProvisionError& error) {
        unauthorized = error.kind() == ProvisionError::Kind::unauthorized;
        failure = error.description();
    } catch (const UserFacingError& error) {
        failure = error.description();
    }
    if (!alive)
        co_return;
    if (unauthorized) {
        handleUnauthorized();
        co_return;
    }
    if (failure) {
        // Ended at the service later: by the replay at the next start or by reconciliation.
        provisioner_.addPendingKills({link.host});
        qCCritical(stateLog, "Link %s not ended at the service: %s", qUtf8Printable(link.host),
                   qUtf8Printable(*failure));
        publish(statusMessage_, failure);
    }
    removeLocal(link);
    syncTunnel();
}

QList<RouteRule> AppState::activeRules() const {
    QList<RouteRule> rules;
    for (const ShareLink& link : links_) {
        if (!isWaiting(link))
            rules.append({link.host, link.port});
    }
    return rules;
}

void AppState::syncTunnel() {
    if (!configured_)
        return;
    pushAccess();
    try {
        tunnel->start(activeRules());
    } catch (const UserFacingError& error) {
        showStepFailure(tunnelStartFailure, error.description());
        return;
    }
    clearStepFailure(tunnelStartFailure);
}

void AppState::handleUnauthorized() {
    tunnel->stop();
    publish(links_, QList<ShareLink>{});
    saveLinks();
    provisioner_.clearLocal();
    publish(configured_, false);
    // The dropped links are gone with the install: their timers would only queue ends that no
    // install can ever make.
    while (!expiryTimers.empty())
        dropExpiryTimer(expiryTimers.begin()->first);
    health.clear();
    endedSince.clear();
    publish(statusMessage_, ProvisionError::unauthorized().description());
}
