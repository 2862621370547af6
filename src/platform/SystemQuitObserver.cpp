#include "platform/SystemQuitObserver.h"

#include "LogindManagerProxy.h"
#include "LogindSessionProxy.h"
#include "platform/FourCC.h"
#include "platform/Logind.h"

#include <QEvent>
#include <QGuiApplication>
#include <unistd.h>

namespace {

constexpr quint32 shutdownReason = fourCC("shut");
constexpr quint32 logoutReason = fourCC("logo");
// The session state logind reports from log-out until the session is gone.
const QString closingState = QStringLiteral("closing");
// logind's name for the caller's own session, or the user's display session when the caller
// runs outside any session (as apps started in their own systemd scope do).
const QString automaticSession = QStringLiteral("auto");

} // namespace

SystemQuitObserver::SystemQuitObserver(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(gui, &QGuiApplication::commitDataRequest, this,
                [this] { commitRequested_ = true; });
        // The session manager's quit reaches the application as a quit event from the platform.
        gui->installEventFilter(this);
    }
    if (!bus_.isConnected())
        return;
    manager_ = new LogindManagerProxy(Logind::service, Logind::managerPath, bus_, this);
    manager_->setTimeout(static_cast<int>(queryTimeout.count()));
    // A cancelled shut-down is announced with false; a later quit is the user's again.
    connect(manager_, &LogindManagerProxy::PrepareForShutdown, this,
            [this](bool start) { shutdownAnnounced_ = start; });
}

std::optional<quint32> SystemQuitObserver::quitReason() const {
    // The announcement may still wait in the bus queue when the signal arrives, so logind is
    // asked as well.
    if (shutdownAnnounced_ || (manager_ != nullptr && manager_->preparingForShutdown()))
        return shutdownReason;
    if (sessionEnding_ || sessionClosing())
        return logoutReason;
    return std::nullopt;
}

bool SystemQuitObserver::eventFilter(QObject* watched, QEvent* event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit &&
        event->spontaneous() && commitRequested_)
        sessionEnding_ = true;
    return QObject::eventFilter(watched, event);
}

bool SystemQuitObserver::sessionClosing() const {
    if (manager_ == nullptr)
        return false;
    QDBusPendingReply<QDBusObjectPath> path =
        manager_->GetSessionByPID(static_cast<uint>(::getpid()));
    path.waitForFinished();
    if (path.isError()) {
        path = manager_->GetSession(automaticSession);
        path.waitForFinished();
        if (path.isError())
            return false;
    }
    LogindSessionProxy session(Logind::service, path.value().path(), bus_);
    session.setTimeout(static_cast<int>(queryTimeout.count()));
    return session.state() == closingState;
}
