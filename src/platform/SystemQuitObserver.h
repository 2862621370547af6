#pragma once

#include <QDBusConnection>
#include <QObject>
#include <chrono>
#include <optional>

class LogindManagerProxy;

// Knows, at the moment of a quit, whether the system is ending this process: logind announced a
// restart or shut-down (PrepareForShutdown(true)), this process's logind session is closing
// (log-out), or the session manager asked the app to commit its data before the session ends.
// At log-out, restart and shut-down the session's processes simply get SIGTERM, so the reason
// has to be known before the signal arrives. Without a system bus only the session manager's
// request counts.
class SystemQuitObserver : public QObject {
    Q_OBJECT
public:
    // How long each question to logind may take at the moment of the quit.
    static constexpr std::chrono::milliseconds queryTimeout{500};

    explicit SystemQuitObserver(const QDBusConnection& bus = QDBusConnection::systemBus(),
                                QObject* parent = nullptr);

    // The reason of a quit by the system as a four-character code: "shut" for a restart or
    // shut-down, "logo" for a log-out; absent for any other quit. Asks logind, so it may block
    // for a few times `queryTimeout`.
    std::optional<quint32> quitReason() const;

private:
    bool sessionClosing() const;

    QDBusConnection bus_;
    LogindManagerProxy* manager_ = nullptr;
    bool shutdownAnnounced_ = false;
    bool sessionEnding_ = false;
};
