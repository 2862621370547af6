#pragma once

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <functional>
#include <optional>

// The desktop's notification server (org.freedesktop.Notifications), spoken to directly: each
// key has at most one notification on screen, replaced in place by the next one; actions are
// offered only when the server lists them among its capabilities. Calls go out one at a time
// without blocking, so a notification knows the id of the one it replaces. Without a server
// every call comes to nothing.
class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    struct Action {
        QString id;
        QString label;
    };
    // A click on an action (or on the notification itself, as the action "default").
    using ActionHandler = std::function<void(const QString& key, const QString& action)>;

    static constexpr char appName[] = "Skerrow";
    static constexpr char desktopEntry[] = "dev.skerrow.Skerrow";
    static constexpr char appIcon[] = "dev.skerrow.Skerrow";
    static constexpr char defaultAction[] = "default";

    DesktopNotifications(QDBusConnection bus, ActionHandler onAction, QObject* parent = nullptr);

    // Shows the notification of `key`, replacing the one shown for it before.
    void show(const QString& key, const QString& summary, const QString& body,
              const QList<Action>& actions);
    // True while notifications wait for the server's answer to the one before.
    bool hasPending() const { return !pending_.isEmpty(); }

private Q_SLOTS:
    void actionInvoked(uint id, const QString& action);
    void closed(uint id, uint reason);

private:
    struct Request {
        QString key;
        QString summary;
        QString body;
        QList<Action> actions;
    };
    // Sends the next request once the one before has been answered.
    void pump();
    void send(const Request& request);
    void answered();

    QDBusConnection bus_;
    ActionHandler onAction_;
    std::optional<QStringList> capabilities_;
    QList<Request> pending_;
    bool waiting_ = false;
    // The server's id of each key's notification while it is on screen.
    QHash<QString, uint> ids_;
};
