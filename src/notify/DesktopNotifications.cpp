#include "notify/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
// The server decides how long a notification stays.
constexpr int serverTimeout = -1;
// A server that does not answer in this long is taken as absent for that call.
constexpr int callTimeoutMs = 2000;

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, ActionHandler onAction,
                                           QObject* parent)
    : QObject(parent), bus_(std::move(bus)), onAction_(std::move(onAction)) {
    bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                 SLOT(closed(uint, uint)));
}

void DesktopNotifications::show(const QString& key, const QString& summary, const QString& body,
                                const QList<Action>& actions) {
    if (!bus_.isConnected())
        return;
    pending_.append({key, summary, body, actions});
    pump();
}

void DesktopNotifications::pump() {
    if (waiting_ || pending_.isEmpty())
        return;
    waiting_ = true;
    if (capabilities_) {
        send(pending_.first());
        return;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> reply = *watcher;
        // A server that cannot say gets no actions, and is asked again with the next one.
        if (reply.isValid())
            capabilities_ = reply.value();
        send(pending_.first());
    });
}

void DesktopNotifications::send(const Request& request) {
    QStringList actionList;
    if (!request.actions.isEmpty() && capabilities_ &&
        capabilities_->contains(QStringLiteral("actions"))) {
        actionList << QLatin1String(defaultAction) << QString();
        for (const Action& action : request.actions)
            actionList << action.id << action.label;
    }
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QLatin1String(desktopEntry)}};
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Notify"));
    call << QLatin1String(appName) << ids_.value(request.key, 0) << QLatin1String(appIcon)
         << request.summary << request.body << actionList << hints << serverTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, callTimeoutMs), this);
    const QString key = request.key;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, key] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isValid())
            ids_.insert(key, reply.value());
        answered();
    });
}

void DesktopNotifications::answered() {
    pending_.removeFirst();
    waiting_ = false;
    pump();
}

void DesktopNotifications::actionInvoked(uint id, const QString& action) {
    for (auto it = ids_.cbegin(); it != ids_.cend(); ++it) {
        if (it.value() == id) {
            onAction_(it.key(), action);
            return;
        }
    }
}

void DesktopNotifications::closed(uint id, uint /*reason*/) {
    for (auto it = ids_.begin(); it != ids_.end(); ++it) {
        if (it.value() == id) {
            ids_.erase(it);
            return;
        }
    }
}
